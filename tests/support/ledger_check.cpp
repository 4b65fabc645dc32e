#include "support/ledger_check.h"

#include "mail/mime_entity.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>

namespace corvex::test {

namespace {

QString messageIdOf(const QByteArray& value) { return QString::fromLatin1(value).remove(u'<').remove(u'>').trimmed(); }

void collectAttachments(const MimeEntity& entity, QMap<QString, QByteArray>& digests) {
  static const QRegularExpression name(QStringLiteral("filename=\"?([^\";]+)"));
  const QRegularExpressionMatch match = name.match(QString::fromUtf8(entity.header("content-disposition")));
  if (match.hasMatch())
    digests.insert(match.captured(1), QCryptographicHash::hash(entity.body, QCryptographicHash::Sha256).toHex());
  for (const MimeEntity& part : entity.parts) collectAttachments(part, digests);
}

// By Message-ID: the SHA-256 of each attachment, by file name.
QMap<QString, QMap<QString, QByteArray>> mailedAttachments(const QStringList& messages) {
  QMap<QString, QMap<QString, QByteArray>> mailed;
  for (const QString& path : messages) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) continue;
    const MimeEntity message = readMimeEntity(file.readAll());
    collectAttachments(message, mailed[messageIdOf(message.header("message-id"))]);
  }
  return mailed;
}

QStringList markedDocuments(const QString& database) {
  QProcess sqlite;
  sqlite.start(QStringLiteral("sqlite3"),
               {database, QStringLiteral(
                              "SELECT SERIE || '-' || NUMERO FROM FACTURAS_ENC WHERE ENVIADA = 1 AND NUMERO <> 1250")});
  sqlite.waitForFinished(30000);
  return QString::fromUtf8(sqlite.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

QString lineProblem(const QJsonObject& line, const QMap<QString, QMap<QString, QByteArray>>& mailed) {
  const QString messageId = line[QStringLiteral("messageId")].toString();
  if (!mailed.contains(messageId)) return QStringLiteral("a line names <%1>, which no buyer got").arg(messageId);
  const QMap<QString, QByteArray>& attachments = mailed[messageId];
  QMap<QString, QByteArray> listed;
  for (const QJsonValue& value : line[QStringLiteral("attachments")].toArray())
    listed.insert(value[QStringLiteral("name")].toString(), value[QStringLiteral("sha256")].toString().toLatin1());
  if (listed != attachments || listed.size() != 2)
    return QStringLiteral("the hashes of <%1> are not those of the bytes mailed").arg(messageId);
  return {};
}

}  // namespace

QList<QJsonObject> ledgerMailLines(const QString& folder) {
  QList<QJsonObject> lines;
  const QDir dir(folder);
  for (const QString& name : dir.entryList({QStringLiteral("ledger-*.jsonl")}, QDir::Files, QDir::Name)) {
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::ReadOnly)) continue;
    for (const QByteArray& line : file.readAll().split('\n')) {
      const QJsonObject object = QJsonDocument::fromJson(line.trimmed()).object();
      if (object[QStringLiteral("kind")].toString() == QStringLiteral("mail")) lines << object;
    }
  }
  return lines;
}

QStringList ledgerProblems(const QString& folder, const QString& database, const QStringList& messages) {
  const QMap<QString, QMap<QString, QByteArray>> mailed = mailedAttachments(messages);
  const QList<QJsonObject> lines = ledgerMailLines(folder);
  QStringList problems;
  QSet<QString> withLine;
  for (const QJsonObject& line : lines) {
    withLine.insert(line[QStringLiteral("serie")].toString() + u'-' +
                    QString::number(line[QStringLiteral("numero")].toInt()));
    if (const QString problem = lineProblem(line, mailed); !problem.isEmpty()) problems << problem;
  }
  for (const QString& document : markedDocuments(database)) {
    if (!withLine.contains(document)) problems << document + QStringLiteral(" is marked but has no ledger line");
  }
  return problems;
}

}  // namespace corvex::test
