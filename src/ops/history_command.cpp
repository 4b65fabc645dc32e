#include "ops/history_command.h"

#include "base/clock.h"
#include "base/error.h"
#include "db/sql_text.h"
#include "mail/delivery_ledger.h"
#include "mail/ledger_view.h"
#include "mail/reply_hints.h"
#include "ops/beside_program.h"

namespace corvex {

namespace {

// Every month a ledger can have.
const QDate kFirstMonth(2000, 1, 1);
const QDate kLastMonth(9999, 12, 1);

QString markText(Connection& database, const QString& serie, qint32 numero) {
  const auto rows = database.execute(QStringLiteral("SELECT ENVIADA FROM FACTURAS_ENC WHERE SERIE=%1 AND NUMERO=%2")
                                         .arg(sqlTextLiteral(serie), QString::number(numero)));
  return rows->field(QStringLiteral("ENVIADA")).toTextOrEmpty() == QStringLiteral("1")
             ? QStringLiteral("marked as mailed (ENVIADA=1)")
             : QStringLiteral("not marked: pending, or waiting in the journal");
}

QString mailText(const LedgerEntry& mail) {
  QString text = QStringLiteral("%1  %2 to %3 through %4\n")
                     .arg(formatTimestamp(mail.time.toLocalTime()),
                          mail.resend ? QStringLiteral("mailed again (corvex resend)") : QStringLiteral("mailed"),
                          mail.to, mail.transport);
  text += QStringLiteral("    Message-ID  <%1>\n    reply       %2\n").arg(mail.messageId, mail.reply);
  for (const AttachmentDigest& attachment : mail.attachments)
    text +=
        QStringLiteral("    attachment  %1  SHA-256 %2\n").arg(attachment.name, QString::fromLatin1(attachment.sha256));
  return text;
}

QString entryText(const LedgerEntry& entry) {
  const QString time = formatTimestamp(entry.time.toLocalTime());
  switch (entry.kind) {
    case LedgerEntry::Kind::Mail:
      return mailText(entry);
    case LedgerEntry::Kind::Bounce:
      return QStringLiteral("%1  bounced: %2 (the mail <%3>)\n    %4\n")
          .arg(time, entry.recipient, entry.messageId, withHint((entry.status + u' ' + entry.diagnostic).trimmed()));
    case LedgerEntry::Kind::Dismissal:
      break;
  }
  return QStringLiteral("%1  bounces dismissed (corvex dismiss-bounce)\n").arg(time);
}

}  // namespace

int showHistory(const AppFolder& folder, const QString& serie, qint32 numero, QTextStream& out, QTextStream& err) {
  Connection database = commandConnection(folder);
  if (!openedForCommand(database, folder, err)) return 2;
  // Trapped here: the command's verdicts are exit statuses.
  try {
    const std::optional<QString> stored = storedSerie(database, serie, numero);
    if (!stored) {
      err << QStringLiteral("corvex: FACTURAS_ENC holds no document %1").arg(documentKey(serie, numero)) << Qt::endl;
      return 1;
    }
    out << documentKey(*stored, numero) << QStringLiteral(": ") << markText(database, *stored, numero) << Qt::endl;
  } catch (const Error& error) {
    err << commandErrorText(error) << Qt::endl;
    return 1;
  }
  RealFileSystem files;
  const LedgerView view =
      LedgerView::read(DeliveryLedger(files, folder), kFirstMonth, kLastMonth,
                       [&](const LedgerEntry& entry) { return isOfDocument(entry, serie, numero); });
  if (view.entries().isEmpty()) out << QStringLiteral("The delivery ledger holds no mail of it.") << Qt::endl;
  for (const LedgerEntry& entry : view.entries()) out << entryText(entry);
  out << Qt::flush;
  return 0;
}

}  // namespace corvex
