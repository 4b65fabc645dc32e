#include "mail/mailer.h"

#include "mail/outgoing_message.h"
#include "mail/smtp_sender.h"

namespace corvex {

Mailer::Mailer(const Settings& settings, AppFolder folder, const DailyLog& log)
    : m_settings(settings), m_folder(std::move(folder)), m_log(log) {}

void Mailer::SendMail(const QString& subject, const QString& body, const QString& recipient, const QString& attachment1,
                      const QString& attachment2, const QString& logLabel) {
  m_mailSent = false;
  SmtpSender sender(m_folder);
  sender.setServer(m_settings.sysSMTPServer);
  sender.setPort(m_settings.sysSMTPPort);
  sender.setUser(m_settings.sysSMTPUser);
  sender.setPassword(m_settings.sysSMTPPassword);
  sender.setRequireTls(true);

  OutgoingMessage message;
  message.setFrom(m_settings.sysSMTPFrom);
  message.setSubject(subject);
  message.setBody(body);
  // A bad address is not refused here: send() names it in its failure line.
  message.addRecipient(QString(), recipient);

  if (!attach(message, attachment1, 1) || !attach(message, attachment2, 2)) return;
  if (!sender.send(message)) {
    m_log.WriteLog(QStringLiteral("Corvex=> Email send failed: ") + sender.lastError());
    return;
  }
  m_mailSent = true;
  m_log.WriteLog(QStringLiteral("Corvex=> Email sent successfully! ") + logLabel);
}

bool Mailer::attach(OutgoingMessage& message, const QString& path, int number) const {
  message.addAttachment(path);
  if (message.lastOutcome() == 1) return true;
  m_log.WriteLog(QStringLiteral("Corvex=> Failed to add attachment %1: ").arg(number) + message.lastError());
  return false;
}

}  // namespace corvex
