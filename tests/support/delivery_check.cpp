#include "support/delivery_check.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace corvex::test {

namespace {

int mailsTo(const QString& eMail, const QStringList& messages) {
  int count = 0;
  for (const QString& message : messages) {
    QFile file(message);
    if (file.open(QIODevice::ReadOnly) && file.readAll().contains(eMail.toUtf8())) ++count;
  }
  return count;
}

}  // namespace

QStringList journaled(const TempAppDir& dir) {
  QStringList keys;
  for (const QByteArray& line : dir.readFile(QStringLiteral("mailed-unmarked.jsonl")).split('\n')) {
    const QJsonObject entry = QJsonDocument::fromJson(line.trimmed()).object();
    if (!entry.isEmpty())
      keys << entry.value(QStringLiteral("serie")).toString() + QLatin1Char('-') +
                  QString::number(entry.value(QStringLiteral("numero")).toInt());
  }
  return keys;
}

QStringList brokenPromises(const TempAppDir& dir, const QString& database, const QStringList& messages,
                           QStringList* pending) {
  const QStringList journal = journaled(dir);
  QStringList broken;
  const QStringList rows = dir.querySqlite(
      database, QStringLiteral("SELECT SERIE || '-' || NUMERO || char(1) || EMAIL || char(1) || ENVIADA "
                               "FROM FACTURAS_ENC WHERE NUMERO <> 1250 ORDER BY SERIE, NUMERO"));
  for (const QString& row : rows) {
    const QStringList parts = row.split(QChar(1));
    const QString& key = parts[0];
    const int mails = mailsTo(parts[1], messages);
    const bool marked = parts[2] == QStringLiteral("1") || journal.contains(key);
    if (mails == 0 && !marked) {
      if (pending) *pending << key;
    } else if (mails != 1 || !marked) {
      broken << QStringLiteral("%1 mailed %2 times, %3").arg(key).arg(mails).arg(marked ? "marked" : "not marked");
    }
  }
  return broken;
}

}  // namespace corvex::test
