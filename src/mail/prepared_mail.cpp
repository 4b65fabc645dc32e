#include "mail/prepared_mail.h"

#include "mail/graph_transport.h"
#include "mail/pickup_folder.h"
#include "mail/xtext.h"

#include <QDateTime>
#include <QUuid>

namespace corvex {

namespace {

// The sender's domain makes the id globally unique enough and tells its origin.
QString newMessageId(const QString& from) {
  const QString domain = from.mid(from.lastIndexOf(u'@') + 1);
  return QUuid::createUuid().toString(QUuid::WithoutBraces) + u'@' + domain;
}

constexpr qsizetype kMaxEnvelopeIdLength = 100;

QString envelopeIdFor(const QString& envelopeKey, const QString& name) {
  if (envelopeKey.isEmpty()) return {};
  const QString id = envelopeKey + u'/' + name;
  return xtextEncoded(id).size() <= kMaxEnvelopeIdLength ? id : name;
}

}  // namespace

PreparedMail prepareMail(const OutgoingMessage& message, const QString& envelopeKey) {
  PreparedMail mail;
  mail.problem = message.addressProblem();
  if (!mail.problem.isEmpty()) return mail;
  const QString messageId = newMessageId(message.from());
  mail.mime = message.toMime(QDateTime::currentDateTime(), messageId);
  mail.envelope = MailEnvelope{message.from(), message.recipientAddresses(), mail.mime.size()};
  mail.name = messageId.left(messageId.indexOf(u'@'));
  mail.messageId = messageId;
  mail.attachments = message.attachmentDigests();
  mail.envelope.envelopeId = envelopeIdFor(envelopeKey, mail.name);
  return mail;
}

MailReceipt mailReceipt(const PreparedMail& mail, const QString& server, const QString& reply) {
  const QString transport = server.startsWith(QLatin1String(kPickupPrefix)) ? QStringLiteral("pickup")
                            : isGraphServer(server)                         ? QStringLiteral("graph")
                                                                            : QStringLiteral("smtp");
  return MailReceipt{mail.messageId, mail.envelope.envelopeId, transport, reply, mail.attachments};
}

}  // namespace corvex
