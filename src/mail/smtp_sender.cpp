#include "mail/smtp_sender.h"

#include "mail/helo_name.h"
#include "mail/pickup_folder.h"

#include <QUuid>

namespace corvex {

namespace {

// The sender's domain makes the id globally unique enough and tells its origin.
QString newMessageId(const QString& from) {
  const QString domain = from.mid(from.lastIndexOf(u'@') + 1);
  return QUuid::createUuid().toString(QUuid::WithoutBraces) + u'@' + domain;
}

}  // namespace

PreparedMail prepareMail(const OutgoingMessage& message) {
  PreparedMail mail;
  mail.problem = message.addressProblem();
  if (!mail.problem.isEmpty()) return mail;
  const QString messageId = newMessageId(message.from());
  mail.mime = message.toMime(QDateTime::currentDateTime(), messageId);
  mail.envelope = SmtpEnvelope{message.from(), message.recipientAddresses(), mail.mime.size()};
  mail.name = messageId.left(messageId.indexOf(u'@'));
  return mail;
}

SmtpSender::SmtpSender(AppFolder folder, SmtpAccount account, int maxMessagesPerConnection)
    : m_folder(std::move(folder)),
      m_account(std::move(account)),
      m_maxMessagesPerConnection(maxMessagesPerConnection) {}

SendResult SmtpSender::send(const PreparedMail& mail, const PreparedMail* next) {
  if (!mail.problem.isEmpty()) return SendResult::permanent(0, mail.problem);
  const QString pickupPrefix = QString::fromLatin1(kPickupPrefix);
  if (m_account.server.startsWith(pickupPrefix))
    return writeToPickupFolder(m_folder.path(m_account.server.mid(pickupPrefix.size())), mail.name, mail.mime);
  if (isGraphServer(m_account.server)) return sendThroughGraph(mail);
  if (!m_transport) {
    SmtpAccount account = m_account;
    account.heloName = heloName(m_account.heloName, m_account.server);
    m_transport = std::make_unique<SmtpTransport>(account, m_maxMessagesPerConnection);
  }
  const bool chainable = next != nullptr && next->problem.isEmpty();
  return m_transport->deliver(mail.envelope, mail.mime, chainable ? &next->envelope : nullptr);
}

SendResult SmtpSender::sendThroughGraph(const PreparedMail& mail) {
  if (!m_graph)
    m_graph =
        std::make_unique<GraphTransport>(m_account.server, m_account.tokens, limitedTimeout(kSmtpReplyTimeoutSeconds));
  return m_graph->deliver(mail.envelope.from, mail.mime);
}

void SmtpSender::close() {
  if (m_transport) m_transport->close();
}

}  // namespace corvex
