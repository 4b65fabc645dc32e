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

SmtpSender::SmtpSender(AppFolder folder, int maxMessagesPerConnection)
    : m_folder(std::move(folder)), m_maxMessagesPerConnection(maxMessagesPerConnection) {}

bool SmtpSender::send(const OutgoingMessage& message) {
  const QString problem = message.addressProblem();
  m_lastResult = problem.isEmpty() ? deliver(message) : SendResult::permanent(0, problem);
  return m_lastResult.isSent();
}

void SmtpSender::close() {
  if (m_transport) m_transport->close();
}

SendResult SmtpSender::deliver(const OutgoingMessage& message) {
  const QString messageId = newMessageId(message.from());
  const QByteArray mime = message.toMime(QDateTime::currentDateTime(), messageId);
  const QString pickupPrefix = QString::fromLatin1(kPickupPrefix);
  if (m_account.server.startsWith(pickupPrefix)) {
    const QString folder = m_folder.path(m_account.server.mid(pickupPrefix.size()));
    return writeToPickupFolder(folder, messageId.left(messageId.indexOf(u'@')), mime);
  }
  if (!m_transport) {
    SmtpAccount account = m_account;
    account.heloName = heloName(m_account.heloName, m_account.server);
    m_transport = std::make_unique<SmtpTransport>(account, m_maxMessagesPerConnection);
  }
  return m_transport->deliver(message.from(), message.recipientAddresses(), mime);
}

}  // namespace corvex
