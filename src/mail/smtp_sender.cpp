#include "mail/smtp_sender.h"

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

SmtpSender::SmtpSender(AppFolder folder) : m_folder(std::move(folder)) {}

bool SmtpSender::send(const OutgoingMessage& message) {
  m_lastError = message.addressProblem();
  if (m_lastError.isEmpty()) m_lastError = deliver(message);
  return m_lastError.isEmpty();
}

QString SmtpSender::deliver(const OutgoingMessage& message) {
  const QString messageId = newMessageId(message.from());
  const QByteArray mime = message.toMime(QDateTime::currentDateTime(), messageId);
  const QString pickupPrefix = QString::fromLatin1(kPickupPrefix);
  if (m_account.server.startsWith(pickupPrefix)) {
    const QString folder = m_folder.path(m_account.server.mid(pickupPrefix.size()));
    return writeToPickupFolder(folder, messageId.left(messageId.indexOf(u'@')), mime);
  }
  return deliverSmtp(m_account, message.from(), message.recipientAddresses(), mime);
}

}  // namespace corvex
