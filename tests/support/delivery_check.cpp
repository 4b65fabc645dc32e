#include "support/delivery_check.h"

#include "support/pdf_tools.h"
#include "support/smtp_peer.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace corvex::test {

namespace {

QStringList mailsTo(const QString& eMail, const QStringList& messages) {
  QStringList found;
  for (const QString& message : messages) {
    QFile file(message);
    if (file.open(QIODevice::ReadOnly) && file.readAll().contains(eMail.toUtf8())) found << message;
  }
  return found;
}

// A mailed document must carry whole files of its own: a JSON object, a
// complete PDF, and a QR code that leads to this document, not another.
QString attachmentProblem(const QString& message, const QString& idDocumento) {
  const QJsonObject decoded = SmtpPeer::decode(message);
  if (!QJsonDocument::fromJson(SmtpPeer::attachment(decoded, QStringLiteral(".json"))).isObject())
    return QStringLiteral("its JSON attachment is not a whole JSON document");
  QTemporaryDir dir;
  QFile pdf(dir.filePath(QStringLiteral("d.pdf")));
  if (!pdf.open(QIODevice::WriteOnly)) return QStringLiteral("cannot check its PDF");
  pdf.write(SmtpPeer::attachment(decoded, QStringLiteral(".pdf")));
  pdf.close();
  try {
    // One symbol per page.
    const QStringList codes = pdfQrCodes(pdf.fileName());
    const QString own = QStringLiteral("codGen=") + idDocumento + QLatin1Char('&');
    // The JSON names the code, in whatever letter case the view gives it.
    if (codes.isEmpty() || codes.size() != codes.filter(own, Qt::CaseInsensitive).size())
      return QStringLiteral("its QR codes are not its own: ") + codes.join(QLatin1Char(' '));
  } catch (const std::exception& error) {
    return QStringLiteral("its PDF is not whole: ") + QString::fromUtf8(error.what());
  }
  return {};
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
                               "|| char(1) || IDDOCUMENTO "
                               "FROM FACTURAS_ENC WHERE NUMERO <> 1250 ORDER BY SERIE, NUMERO"));
  for (const QString& row : rows) {
    const QStringList parts = row.split(QChar(1));
    const QString& key = parts[0];
    const QStringList mails = mailsTo(parts[1], messages);
    const bool marked = parts[2] == QStringLiteral("1") || journal.contains(key);
    if (mails.isEmpty() && !marked) {
      if (pending) *pending << key;
    } else if (mails.size() != 1 || !marked) {
      broken << QStringLiteral("%1 mailed %2 times, %3")
                    .arg(key)
                    .arg(mails.size())
                    .arg(marked ? QStringLiteral("marked") : QStringLiteral("not marked"));
    } else if (const QString problem = attachmentProblem(mails.first(), parts[3]); !problem.isEmpty()) {
      broken << key + QStringLiteral(" was mailed, but ") + problem;
    }
  }
  return broken;
}

QStringList markedCopies(const TempAppDir& dir, const QString& database) {
  return dir.querySqlite(database, QStringLiteral("SELECT EMAIL FROM FACTURAS_ENC WHERE SERIE = 'BM' AND ENVIADA = 1"));
}

void expectCopiesMailedOnceAndMarked(const TempAppDir& dir, const QString& database,
                                     const QMap<QString, int>& received) {
  for (auto it = received.cbegin(); it != received.cend(); ++it) EXPECT_EQ(it.value(), 1) << it.key().toStdString();
  QStringList mailed = received.keys();
  QStringList marked = markedCopies(dir, database);
  mailed.sort();
  marked.sort();
  EXPECT_EQ(marked, mailed);
}

}  // namespace corvex::test
