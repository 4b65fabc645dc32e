#pragma once

#include "mail/mail_address.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace corvex {

/// An attachment as it was mailed: its file name and the SHA-256 of its
/// bytes (lower-case hex), the proof that the buyer got exactly these bytes.
struct AttachmentDigest {
  QString name;
  QByteArray sha256;

  bool operator==(const AttachmentDigest&) const = default;
};

/// One e-mail being put together: sender, subject, plain-text body,
/// recipients and file attachments. Each operation leaves its outcome in
/// lastOutcome() (1 = succeeded) and, on failure, a reason in lastError().
///
/// An attachment's bytes are read when it is added, so a file that cannot be
/// read fails at once and the message never depends on the file again.
class OutgoingMessage {
 public:
  /// The sender: a bare address or `Display Name <address>`; the name goes
  /// into the From header only, the address into the envelope too.
  void setFrom(const QString& mailbox);
  void setSubject(const QString& subject);
  /// Where replies go: a Reply-To header with `address` when it is a valid
  /// bare address other than the sender's; otherwise none (an empty or bad
  /// address never stops the message).
  void setReplyTo(const QString& address);
  void setBody(const QString& body);

  /// Adds every address in `addresses` (several may be separated by ';' or
  /// ','). Returns lastOutcome(). A malformed address is kept and reported
  /// again by addressProblem(), so the message can never be sent with it.
  int addRecipient(const QString& displayName, const QString& addresses);

  /// Reads the file at `path` and attaches it under its file name. Returns the
  /// content type it will be announced with, or an empty text on failure:
  /// also for anything but a regular file, or one larger than 25 MiB.
  QString addAttachment(const QString& path);

  int lastOutcome() const { return m_lastOutcome; }
  const QString& lastError() const { return m_lastError; }

  /// Why the message cannot be sent as addressed, or an empty text: a bad
  /// sender, a bad recipient or no recipient at all.
  QString addressProblem() const;

  /// The sender's bare address, for the envelope.
  const QString& from() const { return m_from.address; }
  /// The bare addresses of all recipients, for the envelope.
  QStringList recipientAddresses() const;
  /// The attachments in the order they were added.
  QList<AttachmentDigest> attachmentDigests() const;

  /// The complete RFC 5322 message, CR LF line ends, multipart/mixed: the body
  /// as UTF-8 text/plain, 7bit when it may travel as it is, else
  /// quoted-printable (see mime::textPart(); its bytes arrive unchanged, bare
  /// line feeds included), then each attachment in base64. Only valid when
  /// addressProblem() is empty.
  QByteArray toMime(const QDateTime& date, const QString& messageId) const;

 private:
  struct Recipient {
    QString displayName;
    QString address;
  };
  struct Attachment {
    QString fileName;
    QByteArray contentType;
    QByteArray content;
  };

  int succeed();
  int fail(const QString& reason);
  QByteArray headers(const QDateTime& date, const QString& messageId, const QByteArray& boundary) const;
  QByteArray toHeader() const;
  QByteArray fromHeader() const;

  Mailbox m_from;
  QString m_subject;
  QString m_replyTo;
  QString m_body;
  QList<Recipient> m_recipients;
  QList<Attachment> m_attachments;
  int m_lastOutcome = 1;
  QString m_lastError;
};

}  // namespace corvex
