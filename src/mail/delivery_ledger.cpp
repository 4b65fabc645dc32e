#include "mail/delivery_ledger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>

namespace corvex {

namespace {

// No entry comes near this; a longer line is not one of ours, and reading it
// whole could take the memory.
constexpr qint64 kMaxLineBytes = 64 * 1024;

QDate monthOf(const QDate& day) { return QDate(day.year(), day.month(), 1); }

// Reads one line of at most kMaxLineBytes; a longer one is skipped to its end.
std::optional<QByteArray> nextLine(QFile& file) {
  QByteArray line = file.readLine(kMaxLineBytes);
  if (line.endsWith('\n') || file.atEnd()) return line;
  while (!file.atEnd() && !file.readLine(kMaxLineBytes).endsWith('\n')) {
  }
  return std::nullopt;
}

}  // namespace

DeliveryLedger::DeliveryLedger(FileSystem& files, AppFolder folder) : m_files(files), m_folder(std::move(folder)) {}

QString DeliveryLedger::fileName(const QDate& day) {
  return QStringLiteral("ledger-%1.jsonl").arg(day.toString(QStringLiteral("yyyy-MM")));
}

void DeliveryLedger::append(const LedgerEntry& entry) {
  const QString path = m_folder.path(fileName(entry.time.toLocalTime().date()));
  const QByteArray line = QJsonDocument(ledgerObject(entry)).toJson(QJsonDocument::Compact) + "\r\n";
  const std::lock_guard lock(m_mutex);
  const bool created = !QFileInfo::exists(path);
  std::unique_ptr<WritableFile> file = m_files.appendTo(path);
  file->append(separatorBefore(path) + line);
  file->sync();
  file->close();
  if (created) m_files.syncFolder(m_folder.root());
}

// A line cut short by a crash must not swallow the next one.
QByteArray DeliveryLedger::separatorBefore(const QString& path) const {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly) || file.size() == 0 || !file.seek(file.size() - 1)) return {};
  return file.read(1) == "\n" ? QByteArray() : QByteArray("\r\n");
}

void DeliveryLedger::forEach(const QDate& from, const QDate& to,
                             const std::function<void(const LedgerEntry&)>& visit) const {
  for (const QDate& month : months()) {
    if (month < monthOf(from) || month > monthOf(to)) continue;
    QFile file(m_folder.path(fileName(month)));
    if (!file.open(QIODevice::ReadOnly)) continue;
    while (!file.atEnd()) {
      const std::optional<QByteArray> line = nextLine(file);
      if (!line) continue;
      const QJsonDocument document = QJsonDocument::fromJson(line->trimmed());
      if (!document.isObject()) continue;
      if (const std::optional<LedgerEntry> entry = ledgerEntry(document.object())) visit(*entry);
    }
  }
}

QList<QDate> DeliveryLedger::months() const {
  static const QRegularExpression pattern(QStringLiteral("^ledger-(\\d{4})-(\\d{2})\\.jsonl$"));
  QList<QDate> months;
  const QStringList names =
      QDir(m_folder.root()).entryList({QStringLiteral("ledger-*.jsonl")}, QDir::Files, QDir::Name);
  for (const QString& name : names) {
    const QRegularExpressionMatch match = pattern.match(name);
    const QDate month = match.hasMatch() ? QDate(match.captured(1).toInt(), match.captured(2).toInt(), 1) : QDate();
    if (month.isValid()) months << month;
  }
  return months;
}

QStringList DeliveryLedger::removeBefore(const QDate& keepFrom) {
  QStringList removed;
  for (const QDate& month : months()) {
    if (month >= monthOf(keepFrom)) break;
    m_files.remove(m_folder.path(fileName(month)));
    removed << fileName(month);
  }
  return removed;
}

}  // namespace corvex
