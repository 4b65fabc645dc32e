#include "demo/demo_report.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace corvex {

namespace {

// The header value of `name` in a message file, as it stands (unfolded).
QString headerValue(const QByteArray& message, const char* name) {
  const QRegularExpression header(QStringLiteral("^%1: *(.*)$").arg(QLatin1String(name)),
                                  QRegularExpression::MultilineOption | QRegularExpression::CaseInsensitiveOption);
  const QString head = QString::fromUtf8(message.left(message.indexOf("\r\n\r\n")));
  return header.match(head).captured(1).trimmed();
}

QStringList attachmentNames(const QByteArray& message) {
  static const QRegularExpression name(QStringLiteral("filename=\"([^\"]+)\""));
  QStringList names;
  for (auto it = name.globalMatch(QString::fromUtf8(message)); it.hasNext();) names << it.next().captured(1);
  return names;
}

QString messageLine(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QString();
  const QByteArray message = file.readAll();
  return QStringLiteral("  %1  to %2  with %3\n")
      .arg(QFileInfo(path).fileName(), headerValue(message, "To"),
           attachmentNames(message).join(QStringLiteral(" and ")));
}

}  // namespace

QString demoReport(const QString& workspace) {
  const QDir dir(workspace);
  const QDir outbox(dir.filePath(QStringLiteral("outbox")));
  const QStringList messages = outbox.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Time | QDir::Reversed);
  QString report = QStringLiteral("\nMailed %1 document(s) into %2:\n")
                       .arg(messages.size())
                       .arg(QDir::toNativeSeparators(outbox.absolutePath()));
  for (const QString& name : messages) report += messageLine(outbox.filePath(name));
  const QString root = QDir::toNativeSeparators(dir.absolutePath());
  report += QStringLiteral(
                "Open the .eml files in any mail program (xdg-open FILE, or drag them into Thunderbird); each "
                "carries the document's JSON and PDF.\n"
                "To look at a PDF alone: corvex render factura FA 1251 --app-dir %1 prints the path of the PDF it "
                "writes into %2.\n"
                "The log is in %3.\n")
                .arg(root, QDir::toNativeSeparators(dir.absoluteFilePath(QStringLiteral("files"))),
                     QDir::toNativeSeparators(dir.absoluteFilePath(QStringLiteral("logs"))));
  return report;
}

}  // namespace corvex
