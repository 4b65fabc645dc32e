#include "mail/mailer.h"

#include "mail/mail_account.h"
#include "mail/outgoing_message.h"

#include <algorithm>

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

Mailer::Mailer(const Settings& settings, AppFolder folder, const DailyLog& log, const Clock& clock)
    : m_settings(settings), m_folder(std::move(folder)), m_log(log), m_clock(clock) {}

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
  if (m_lastResult.isLoginRefused()) {
    logStop(kStopped + m_lastResult.text(), m_clock.now());
    m_stopLogged = true;
    return FinishedMail{outcome.ticket, false, false};
  }
  if (!m_lastResult.isSent()) {
    fail(m_lastResult, QStringLiteral("Corvex=> Email send failed: ") + named(logLabel, m_lastResult.text()), logLabel);
    return FinishedMail{outcome.ticket, false, true};
  }
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
// between mails, the program never does.
MailSessions& Mailer::mailSessions() {
  const MailAccount account = mailAccount(m_settings, m_folder);
  MailAccount bare = account;
  bare.tokens.reset();
  if (m_sessions && (bare == m_account || m_sessions->outstanding() > 0)) return *m_sessions;
  m_sessions.reset();
  m_account = bare;
  const int maxPerConnection = m_settings.MaxMessagesPerConnection;
  m_sessions = std::make_unique<MailSessions>(
      sessions(), m_settings.MessagesPerMinute, m_clock,
      [this, account, maxPerConnection] { return std::make_unique<MailSender>(m_folder, account, maxPerConnection); });
  return *m_sessions;
}

void Mailer::beginRun() {
  mailSessions().beginRun();
  m_stopLogged = false;
}

void Mailer::endRun() {
  if (m_sessions) m_sessions->finish();
  m_refused.clear();
  m_labels.clear();
  m_receipts.clear();
}

bool Mailer::sendingStopped() {
  const QDateTime now = m_clock.now();
  if (!mailSessions().isClosed(now)) return false;
  const QString reason = m_sessions->stopReason();
  if (!m_stopLogged)
    logStop(reason.isEmpty()
                ? QStringLiteral("Corvex=> Sending paused until the next run: MessagesPerMinute=%1 used up")
                      .arg(m_settings.MessagesPerMinute)
                : kStopped + reason,
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
