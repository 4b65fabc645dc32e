#include "mail/prepared_mail.h"

#include <QDateTime>
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
  mail.envelope = MailEnvelope{message.from(), message.recipientAddresses(), mail.mime.size()};
  mail.name = messageId.left(messageId.indexOf(u'@'));
  return mail;
}

}  // namespace corvex
