#pragma once

#include "mail/outgoing_message.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

namespace corvex {

/// One line of the delivery ledger (see DeliveryLedger): a mail a transport
/// accepted, a bounce read back for one, or an operator's dismissal of a
/// document's bounces.
struct LedgerEntry {
  enum class Kind { Mail, Bounce, Dismissal };
  Kind kind = Kind::Mail;
  /// When the server accepted the mail, the bounce was read, or the
  /// dismissal was made; with its offset from UTC.
  QDateTime time;
  QString serie;
  qint32 numero = 0;
  QString idDocumento;
  QString tipoDte;
  /// The address mailed (Mail, Bounce).
  QString to;
  /// Our Message-ID, without angle brackets (Mail: of this mail; Bounce: of
  /// the mail that bounced).
  QString messageId;
  /// Mail: the envelope id asked of the server (see prepareMail()).
  QString envelopeId;
  /// Mail: "smtp", "graph" or "pickup".
  QString transport;
  /// Mail: the server's final reply (see MailReceipt).
  QString reply;
  /// Mail: each attachment as mailed.
  QList<AttachmentDigest> attachments;
  /// Mail: asked for with `corvex resend`.
  bool resend = false;
  /// Bounce: the status ("5.1.1") and the diagnostic the report gave.
  QString status;
  QString diagnostic;
  /// Bounce: the report's own Message-ID, and the address it names.
  QString reportId;
  QString recipient;

  /// "SERIE-NUMERO".
  QString documentKey() const;
};

/// The entry as its ledger line's object.
QJsonObject ledgerObject(const LedgerEntry& entry);

/// The entry of a ledger line's object; none when it lacks a kind, a valid
/// time, the series or the number (a line cut short, another program's).
std::optional<LedgerEntry> ledgerEntry(const QJsonObject& object);

/// `time` as the ledger writes it: ISO 8601 with its offset from UTC.
QString ledgerTime(const QDateTime& time);

}  // namespace corvex
