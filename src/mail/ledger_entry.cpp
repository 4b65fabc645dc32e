#include "mail/ledger_entry.h"

#include <QJsonArray>

#include <array>
#include <limits>

namespace corvex {

namespace {

constexpr std::array kKindNames{"mail", "bounce", "dismissal"};

QString kindName(LedgerEntry::Kind kind) { return QString::fromLatin1(kKindNames[std::size_t(kind)]); }

std::optional<LedgerEntry::Kind> kindOf(const QString& name) {
  for (std::size_t i = 0; i < kKindNames.size(); ++i) {
    if (name == QLatin1String(kKindNames[i])) return LedgerEntry::Kind(i);
  }
  return std::nullopt;
}

QJsonArray attachmentArray(const QList<AttachmentDigest>& attachments) {
  QJsonArray array;
  for (const AttachmentDigest& attachment : attachments)
    array << QJsonObject{{QStringLiteral("name"), attachment.name},
                         {QStringLiteral("sha256"), QString::fromLatin1(attachment.sha256)}};
  return array;
}

QList<AttachmentDigest> attachmentsOf(const QJsonArray& array) {
  QList<AttachmentDigest> attachments;
  for (const QJsonValue& value : array) {
    const QJsonObject object = value.toObject();
    attachments << AttachmentDigest{object[QStringLiteral("name")].toString(),
                                    object[QStringLiteral("sha256")].toString().toLatin1()};
  }
  return attachments;
}

// Only the members a kind uses are written: a bounce line carries no reply.
void addIfSet(QJsonObject& object, const char* name, const QString& value) {
  if (!value.isEmpty()) object.insert(QLatin1String(name), value);
}

QString text(const QJsonObject& object, const char* name) { return object[QLatin1String(name)].toString(); }

}  // namespace

QString LedgerEntry::documentKey() const { return serie + QLatin1Char('-') + QString::number(numero); }

QString ledgerTime(const QDateTime& time) { return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate); }

QJsonObject ledgerObject(const LedgerEntry& entry) {
  QJsonObject object{{QStringLiteral("kind"), kindName(entry.kind)},
                     {QStringLiteral("time"), ledgerTime(entry.time)},
                     {QStringLiteral("serie"), entry.serie},
                     {QStringLiteral("numero"), entry.numero}};
  addIfSet(object, "idDocumento", entry.idDocumento);
  addIfSet(object, "tipoDte", entry.tipoDte);
  addIfSet(object, "to", entry.to);
  addIfSet(object, "messageId", entry.messageId);
  addIfSet(object, "envelopeId", entry.envelopeId);
  addIfSet(object, "transport", entry.transport);
  addIfSet(object, "reply", entry.reply);
  if (entry.kind == LedgerEntry::Kind::Mail) {
    object.insert(QStringLiteral("attachments"), attachmentArray(entry.attachments));
    object.insert(QStringLiteral("resend"), entry.resend);
  }
  addIfSet(object, "status", entry.status);
  addIfSet(object, "diagnostic", entry.diagnostic);
  addIfSet(object, "reportId", entry.reportId);
  addIfSet(object, "recipient", entry.recipient);
  return object;
}

std::optional<LedgerEntry> ledgerEntry(const QJsonObject& object) {
  const std::optional<LedgerEntry::Kind> kind = kindOf(text(object, "kind"));
  const QDateTime time = QDateTime::fromString(text(object, "time"), Qt::ISODate);
  const double numero = object[QStringLiteral("numero")].toDouble(std::numeric_limits<double>::quiet_NaN());
  if (!kind || !time.isValid() || !object[QStringLiteral("serie")].isString() ||
      !(numero >= std::numeric_limits<qint32>::min() && numero <= std::numeric_limits<qint32>::max()))
    return std::nullopt;
  LedgerEntry entry{*kind,
                    time,
                    text(object, "serie"),
                    qint32(numero),
                    text(object, "idDocumento"),
                    text(object, "tipoDte"),
                    text(object, "to"),
                    text(object, "messageId"),
                    text(object, "envelopeId"),
                    text(object, "transport"),
                    text(object, "reply"),
                    attachmentsOf(object[QStringLiteral("attachments")].toArray()),
                    object[QStringLiteral("resend")].toBool(),
                    text(object, "status"),
                    text(object, "diagnostic"),
                    text(object, "reportId"),
                    text(object, "recipient")};
  return entry;
}

}  // namespace corvex
