#include "mail/mailer.h"

#include "mail/outgoing_message.h"

namespace corvex {

namespace {

constexpr qint64 kRepeatStopAfterSeconds = 3600;

}  // namespace

Mailer::Mailer(const Settings& settings, AppFolder folder, const DailyLog& log, const Clock& clock)
    : m_settings(settings),
      m_log(log),
      m_clock(clock),
      m_sender(std::move(folder), settings.MaxMessagesPerConnection),
      m_gate(settings.MessagesPerMinute) {}

void Mailer::SendMail(const QString& subject, const QString& body, const QString& recipient, const QString& attachment1,
                      const QString& attachment2, const QString& logLabel) {
  m_mailSent = false;
  m_lastResult = SendResult::temporary(0, QStringLiteral("not sent"));
  m_sender.setServer(m_settings.sysSMTPServer);
  m_sender.setPort(m_settings.sysSMTPPort);
  m_sender.setUser(m_settings.sysSMTPUser);
  m_sender.setPassword(m_settings.sysSMTPPassword);
  m_sender.setRequireTls(true);
  m_sender.setHeloName(m_settings.HeloName);

  OutgoingMessage message;
  message.setFrom(m_settings.sysSMTPFrom);
  message.setSubject(subject);
  message.setBody(body);
  // The cover text asks buyers to write to sysEmail: their replies go there.
  message.setReplyTo(m_settings.sysEmail);
  // A bad address is not refused here: send() names it in its failure line.
  message.addRecipient(QString(), recipient);

  if (!attach(message, attachment1, 1, logLabel) || !attach(message, attachment2, 2, logLabel)) return;
  const bool sent = m_sender.send(message);
  m_lastResult = m_sender.lastResult();
  m_gate.record(m_lastResult, m_clock.now());
  if (!sent) return fail(m_lastResult, QStringLiteral("Corvex=> Email send failed: ") + m_lastResult.text(), logLabel);
  m_mailSent = true;
  m_log.WriteLog(QStringLiteral("Corvex=> Email sent successfully! ") + logLabel);
  writeLog(m_failures.succeeded(logLabel));
}

void Mailer::beginRun() {
  m_gate.beginRun();
  m_stopLogged = false;
}

void Mailer::endRun() { m_sender.close(); }

bool Mailer::sendingStopped() {
  const QDateTime now = m_clock.now();
  if (!m_gate.isClosed(now)) return false;
  if (!m_stopLogged && !m_gate.reason().isEmpty())
    logStop(QStringLiteral("Corvex=> Sending stopped until the next run: ") + m_gate.reason(), now);
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

bool Mailer::isDue(const QString& logLabel) const { return m_failures.isDue(logLabel, m_clock.now()); }

bool Mailer::attach(OutgoingMessage& message, const QString& path, int number, const QString& logLabel) {
  message.addAttachment(path);
  if (message.lastOutcome() == 1) return true;
  m_lastResult = SendResult::permanent(0, message.lastError());
  fail(m_lastResult, QStringLiteral("Corvex=> Failed to add attachment %1: ").arg(number) + message.lastError(),
       logLabel);
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
