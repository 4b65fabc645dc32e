#include "mail/mailer.h"

#include "mail/mail_account.h"
#include "mail/mail_sender.h"
#include "mail/outgoing_message.h"
#include "mail/stop_lines.h"

#include <algorithm>
#include <tuple>
#include <utility>

namespace corvex {

namespace {

constexpr qint64 kRepeatStopAfterSeconds = 3600;
const QString kStopped = QStringLiteral("Corvex=> Sending stopped until the next run: ");

// "FA-1251--ana@example.com: RCPT TO:<...> failed: 550 ...", as the success
// line names the document too.
QString named(const QString& logLabel, const QString& text) {
  return logLabel.isEmpty() ? text : logLabel + QStringLiteral(": ") + text;
}

}  // namespace

Mailer::Mailer(const Settings& settings, AppFolder folder, const DailyLog& log, const Clock& clock,
               MailerOptions options)
    : m_settings(settings),
      m_folder(std::move(folder)),
      m_log(log),
      m_clock(clock),
      m_options(std::move(options)),
      m_loginWait(m_folder, m_options.files ? *m_options.files : m_realFiles) {}

void Mailer::SendMail(const QString& subject, const QString& body, const QString& recipient, const QString& attachment1,
                      const QString& attachment2, const QString& logLabel) {
  start(0, subject, body, recipient, attachment1, attachment2, logLabel, true);
  finishMail();
  settle(0);
}

void Mailer::startMail(int ticket, const QString& subject, const QString& body, const QString& recipient,
                       const QString& attachment1, const QString& attachment2, const QString& logLabel,
                       const QString& envelopeKey) {
  start(ticket, subject, body, recipient, attachment1, attachment2, logLabel, false, envelopeKey);
}

void Mailer::start(int ticket, const QString& subject, const QString& body, const QString& recipient,
                   const QString& attachment1, const QString& attachment2, const QString& logLabel, bool evenIfStopped,
                   const QString& envelopeKey) {
  OutgoingMessage message;
  message.setFrom(m_settings.sysSMTPFrom);
  message.setSubject(subject);
  message.setBody(body);
  // The cover text asks buyers to write to sysEmail: their replies go there.
  message.setReplyTo(m_settings.sysEmail);
  // A bad address is not refused here: send() names it in its failure line.
  message.addRecipient(QString(), recipient);

  if (!attach(message, attachment1, 1, ticket, logLabel) || !attach(message, attachment2, 2, ticket, logLabel)) return;
  m_labels.insert(ticket, logLabel);
  PreparedMail mail = prepareMail(message, envelopeKey);
  m_receipts.insert(ticket, mailReceipt(mail, m_settings.sysSMTPServer, QString()));
  mailSessions().submit(ticket, std::move(mail), evenIfStopped);
}

Mailer::FinishedMail Mailer::finishMail() {
  m_mailSent = false;
  logResting();
  if (!m_refused.empty() && m_refused.front().after == 0) return finishRefused();
  const MailSessions::Outcome outcome = mailSessions().next();
  for (Refused& refused : m_refused) refused.after = std::max(0, refused.after - 1);
  const QString logLabel = m_labels.take(outcome.ticket);
  MailReceipt receipt = m_receipts.take(outcome.ticket);
  m_lastResult = outcome.result;
  if (outcome.failure) std::rethrow_exception(outcome.failure);
  if (!outcome.tried) return FinishedMail{outcome.ticket, false, false};
  // Not the document's failure: it waits, untried, for a run with a login.
  if (m_lastResult.stopsSending()) {
    startWait(m_lastResult);
    return FinishedMail{outcome.ticket, false, false};
  }
  if (!m_lastResult.isSent()) {
    const QString reply = withHint(m_lastResult.text(), hintContextOf(currentSettings()));
    fail(m_lastResult, QStringLiteral("Corvex=> Email send failed: ") + named(logLabel, reply), logLabel);
    return FinishedMail{outcome.ticket, false, true};
  }
  endWait();
  m_mailSent = true;
  m_log.WriteLog(QStringLiteral("Corvex=> Email sent successfully! ") + logLabel);
  writeLog(m_failures.succeeded(logLabel));
  receipt.reply = m_lastResult.text();
  return FinishedMail{outcome.ticket, true, true, receipt};
}

Mailer::FinishedMail Mailer::finishRefused() {
  const Refused refused = m_refused.front();
  m_refused.pop_front();
  m_lastResult = SendResult::permanent(0, refused.error);
  fail(m_lastResult,
       QStringLiteral("Corvex=> Failed to add attachment %1: ").arg(refused.attachment) +
           named(refused.logLabel, refused.error),
       refused.logLabel);
  return FinishedMail{refused.ticket, false, true};
}

void Mailer::settle(int ticket) {
  if (m_sessions) m_sessions->settle(ticket);
}

void Mailer::stopSending() {
  if (m_sessions) m_sessions->halt();
}

bool Mailer::mailFinished() const {
  if (!m_refused.empty() && m_refused.front().after == 0) return true;
  return m_sessions && m_sessions->hasOutcome();
}

int Mailer::mailsOutstanding() const { return int(m_refused.size()) + (m_sessions ? m_sessions->outstanding() : 0); }

// The sessions belong to one server and account; tests change the Settings
// between mails, and a run may find main.ini's login keys changed.
MailSessions& Mailer::mailSessions() {
  const Settings settings = currentSettings();
  const StopCheck& stop = m_options.stopRequested;
  const MailAccount account = mailAccount(settings, m_folder, stop);
  MailAccount bare = account;
  bare.tokens.reset();
  const QByteArray login = loginSettingsText(settings);
  if (m_sessions && ((bare == m_account && login == m_accountLogin) || m_sessions->outstanding() > 0))
    return *m_sessions;
  m_sessions.reset();
  m_account = bare;
  m_accountLogin = login;
  const int maxPerConnection = m_settings.MaxMessagesPerConnection;
  m_sessions = std::make_unique<MailSessions>(
      sessions(), m_settings.MessagesPerMinute, m_clock,
      [this, account, maxPerConnection, stop] {
        return std::make_unique<MailSender>(m_folder, account, maxPerConnection, stop);
      },
      stop);
  return *m_sessions;
}

Settings Mailer::currentSettings() const {
  Settings settings = m_settings;
  if (m_iniLogin) std::tie(settings.Auth, settings.OAuth) = *m_iniLogin;
  return settings;
}

void Mailer::rereadLogin() {
  if (!m_options.rereadLogin) return;
  Settings settings = m_settings;
  m_options.rereadLogin(settings);
  m_iniLogin = std::pair(settings.Auth, settings.OAuth);
}

// The wait kept for other login settings (main.ini changed, or Parametros
// before this start) does not hold: those are tried at once.
void Mailer::beginRun() {
  rereadLogin();
  mailSessions().beginRun();
  m_stopLogged = false;
  m_loginWorks = false;
  const QByteArray login = loginSettingsText(currentSettings());
  const QDateTime now = m_clock.now();
  m_wait = m_loginWait.current(login, now);
  if (!m_wait && m_unwritten && m_unwritten->login == login && now < m_unwritten->wait.until)
    m_wait = m_unwritten->wait;
  if (m_wait) m_sessions->halt();
}

// One wait per run, however many sessions came back refused.
void Mailer::startWait(const SendResult& result) {
  m_stopLogged = true;
  if (m_wait) return;
  const QDateTime now = m_clock.now();
  m_wait = recordWait(result, now);
  logStop(waitLine(*m_wait, hintContextOf(currentSettings())), now);
}

// The wait `result` starts, kept in its file; one that cannot be written
// still holds in this process (the log says why a restart would not keep
// it), so that a read-only folder cannot lock the mailbox.
SendingWait Mailer::recordWait(const SendResult& result, const QDateTime& now) {
  const QByteArray login = loginSettingsText(currentSettings());
  const bool pause = result.isPause();
  const QDateTime pauseEnd = now.addSecs(result.pauseSeconds());
  try {
    const SendingWait kept = pause ? m_loginWait.paused(login, result.text(), now, pauseEnd)
                                   : m_loginWait.refused(login, result.text(), now);
    m_unwritten.reset();
    return kept;
  } catch (const FileError& error) {
    writeLog(m_failures.failed(QString::fromLatin1(LoginWait::kFileName),
                               QStringLiteral("Corvex=> ") + error.description(), false, now));
  }
  const int refusals = (m_unwritten ? m_unwritten->wait.refusals : 0) + (pause ? 0 : 1);
  const SendingWait wait = pause ? SendingWait{SendingWait::Kind::Throttle, result.text(), now, pauseEnd, refusals}
                                 : SendingWait{SendingWait::Kind::Login, result.text(), now,
                                               now.addSecs(LoginWait::waitSeconds(refusals)), refusals};
  m_unwritten = UnwrittenWait{wait, login};
  return wait;
}

// Once a run: a message went out, so the login works and no wait holds.
void Mailer::endWait() {
  if (std::exchange(m_loginWorks, true)) return;
  m_unwritten.reset();
  try {
    m_loginWait.ended();
  } catch (const FileError& error) {
    writeLog(m_failures.failed(QString::fromLatin1(LoginWait::kFileName),
                               QStringLiteral("Corvex=> ") + error.description(), false, m_clock.now()));
  }
}

void Mailer::endRun() {
  if (m_sessions) m_sessions->finish();
  m_refused.clear();
  m_labels.clear();
  m_receipts.clear();
}

// A refused login or a pause is logged where its outcome is collected
// (startWait()), with the wait it starts.
bool Mailer::sendingStopped() {
  const QDateTime now = m_clock.now();
  if (m_wait) {
    if (!m_stopLogged) logStop(waitLine(*m_wait, hintContextOf(currentSettings())), now);
    m_stopLogged = true;
    return true;
  }
  if (!mailSessions().isClosed(now)) return false;
  if (m_stopLogged || m_sessions->waitsForAccount()) return true;
  const QString reason = m_sessions->stopReason();
  logStop(reason.isEmpty() ? QStringLiteral("Corvex=> Sending paused until the next run: MessagesPerMinute=%1 used up")
                                 .arg(m_settings.MessagesPerMinute)
                           : kStopped + withHint(reason, hintContextOf(currentSettings())),
          now);
  m_stopLogged = true;
  return true;
}

// A server that refuses every run would otherwise write this line every few
// seconds, so the same stop is logged again only after an hour.
void Mailer::logStop(const QString& line, const QDateTime& now) {
  if (line == m_lastStop.line && m_lastStop.time.secsTo(now) < kRepeatStopAfterSeconds) return;
  m_log.WriteLog(line);
  m_lastStop = {line, now};
}

// Connections set higher than the server allows: said once an hour, as a
// repeated failure is.
void Mailer::logResting() {
  const QString reason = m_sessions ? m_sessions->takeRestingReason() : QString();
  if (reason.isEmpty()) return;
  const QString line = QStringLiteral("Corvex=> The server refused a further SMTP session; those open carry on: ");
  writeLog(m_failures.failed(QStringLiteral("[SMTP] Connections"), line + reason, false, m_clock.now()));
}

bool Mailer::isDue(const QString& logLabel) const { return m_failures.isDue(logLabel, m_clock.now()); }

bool Mailer::attach(OutgoingMessage& message, const QString& path, int number, int ticket, const QString& logLabel) {
  message.addAttachment(path);
  if (message.lastOutcome() == 1) return true;
  m_refused.push_back(
      Refused{ticket, number, message.lastError(), logLabel, m_sessions ? m_sessions->outstanding() : 0});
  return false;
}

void Mailer::fail(const SendResult& result, const QString& line, const QString& logLabel) {
  writeLog(m_failures.failed(logLabel, line, result.isPermanent(), m_clock.now()));
}

// An empty line is one held back as a repeat.
void Mailer::writeLog(const QString& line) const {
  if (!line.isEmpty()) m_log.WriteLog(line);
}

}  // namespace corvex
