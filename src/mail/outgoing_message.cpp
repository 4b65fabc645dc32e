#include "mail/outgoing_message.h"

#include "mail/mail_address.h"
#include "mail/mime_writer.h"

#include "base/checked_file.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QUuid>

namespace corvex {

namespace {

// What the common mail providers accept for a whole message; a document's
// files are a few hundred kilobytes, and anything bigger than this is no
// document (a link to a device, say) and must not take the memory.
constexpr qint64 kMaxAttachmentBytes = 25 * 1024 * 1024;

}  // namespace

void OutgoingMessage::setFrom(const QString& mailbox) {
  m_from = parseMailbox(mailbox);
  succeed();
}

void OutgoingMessage::setSubject(const QString& subject) {
  m_subject = subject;
  succeed();
}

void OutgoingMessage::setReplyTo(const QString& address) {
  const QString bare = address.trimmed();
  m_replyTo = corvex::addressProblem(QStringLiteral("reply-to"), bare).isEmpty() ? bare : QString();
  succeed();
}

void OutgoingMessage::setBody(const QString& body) {
  m_body = body;
  succeed();
}

int OutgoingMessage::addRecipient(const QString& displayName, const QString& addresses) {
  QStringList split = splitAddresses(addresses);
  // An empty text is kept as one recipient so that it is named as the culprit.
  if (split.isEmpty()) split << addresses;
  QString problem;
  for (const QString& address : split) {
    m_recipients << Recipient{displayName, address};
    if (problem.isEmpty()) problem = corvex::addressProblem(QStringLiteral("recipient"), address);
  }
  return problem.isEmpty() ? succeed() : fail(problem);
}

QString OutgoingMessage::addAttachment(const QString& path) {
  QByteArray content;
  // Trapped here: an attachment that cannot be read is this operation's
  // failure, reported like every other.
  try {
    content = readBoundedFile(path, kMaxAttachmentBytes);
  } catch (const Error& error) {
    fail(error.description());
    return {};
  }
  const QString fileName = QFileInfo(path).fileName();
  m_attachments << Attachment{fileName, mime::contentTypeFor(fileName), content};
  succeed();
  return QString::fromLatin1(m_attachments.last().contentType);
}

QString OutgoingMessage::addressProblem() const {
  QString problem = corvex::addressProblem(QStringLiteral("sender"), m_from.address);
  if (!problem.isEmpty()) return problem;
  if (m_recipients.isEmpty()) return QStringLiteral("no recipient");
  for (const Recipient& recipient : m_recipients) {
    problem = corvex::addressProblem(QStringLiteral("recipient"), recipient.address);
    if (!problem.isEmpty()) return problem;
  }
  return {};
}

QStringList OutgoingMessage::recipientAddresses() const {
  QStringList addresses;
  for (const Recipient& recipient : m_recipients) addresses << recipient.address;
  return addresses;
}

QList<AttachmentDigest> OutgoingMessage::attachmentDigests() const {
  QList<AttachmentDigest> digests;
  for (const Attachment& attachment : m_attachments)
    digests << AttachmentDigest{attachment.fileName,
                                QCryptographicHash::hash(attachment.content, QCryptographicHash::Sha256).toHex()};
  return digests;
}

QByteArray OutgoingMessage::toMime(const QDateTime& date, const QString& messageId) const {
  const QByteArray boundary = "=_corvex_" + QUuid::createUuid().toByteArray(QUuid::Id128);
  QByteArray mime = headers(date, messageId, boundary);
  mime += "--" + boundary + "\r\n";
  mime += mime::textPart(m_body.toUtf8());
  for (const Attachment& attachment : m_attachments) {
    mime += "--" + boundary + "\r\n";
    mime +=
        mime::headerField("Content-Type", attachment.contentType + "; " + mime::parameter("name", attachment.fileName));
    mime += mime::headerField("Content-Disposition", "attachment; " + mime::parameter("filename", attachment.fileName));
    mime += "Content-Transfer-Encoding: base64\r\n\r\n";
    mime += mime::base64Lines(attachment.content);
  }
  mime += "--" + boundary + "--\r\n";
  return mime;
}

QByteArray OutgoingMessage::headers(const QDateTime& date, const QString& messageId, const QByteArray& boundary) const {
  QByteArray header;
  header += mime::headerField("From", fromHeader());
  header += mime::headerField("To", toHeader());
  // Replies to the sender go there anyway.
  if (!m_replyTo.isEmpty() && m_replyTo.compare(m_from.address, Qt::CaseInsensitive) != 0)
    header += mime::headerField("Reply-To", m_replyTo.toLatin1());
  header += mime::headerField("Subject", mime::headerText(m_subject));
  header += "Date: " + date.toString(Qt::RFC2822Date).toLatin1() + "\r\n";
  header += mime::headerField("Message-ID", '<' + messageId.toLatin1() + '>');
  header += "MIME-Version: 1.0\r\n";
  header += mime::headerField("Content-Type", "multipart/mixed; boundary=\"" + boundary + '"') + "\r\n";
  return header;
}

QByteArray OutgoingMessage::toHeader() const {
  QByteArray to;
  for (const Recipient& recipient : m_recipients) {
    if (!to.isEmpty()) to += ",\r\n ";
    if (recipient.displayName.isEmpty())
      to += recipient.address.toLatin1();
    else
      to += mime::phrase(recipient.displayName) + " <" + recipient.address.toLatin1() + '>';
  }
  return to;
}

QByteArray OutgoingMessage::fromHeader() const {
  if (m_from.displayName.isEmpty()) return m_from.address.toLatin1();
  return mime::phrase(m_from.displayName) + " <" + m_from.address.toLatin1() + '>';
}

int OutgoingMessage::succeed() {
  m_lastOutcome = 1;
  m_lastError.clear();
  return m_lastOutcome;
}

int OutgoingMessage::fail(const QString& reason) {
  m_lastOutcome = 0;
  m_lastError = reason;
  return m_lastOutcome;
}

}  // namespace corvex
