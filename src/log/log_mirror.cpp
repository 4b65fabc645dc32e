#include "log/log_mirror.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace corvex {

namespace {

using Type = EventEntry::Type;

constexpr qint64 kRepeatAfterSeconds = 3600;
const QString kMemoryFile = QStringLiteral("eventlog.json");

// The severity bits of a message number, as windmc puts them into the
// message table (src/log/event_messages.mc, whose numbers these are).
constexpr unsigned int kInformation = 0x40000000u;
constexpr unsigned int kWarning = 0x80000000u;
constexpr unsigned int kError = 0xC0000000u;

struct MirroredLine {
  const char* start;
  bool wholeLine;
  /// A text the line must hold besides its start ("" for none).
  const char* holds;
  /// 0: the line stays in the daily log alone.
  unsigned int id;
  Type type;
};

// The first row whose start the line has wins. A run's informational lines
// share the prefix of its failures, so they come first and mirror nothing.
constexpr MirroredLine kMirroredLines[] = {
    {"Service=> Started", true, "", kInformation | 1, Type::Information},
    {"Service=> Stopped, exit code 0", true, "", kInformation | 2, Type::Information},
    {"Service=> Stopped, exit code ", false, "", kWarning | 3, Type::Warning},
    {"Start-up=> ", false, "", kError | 10, Type::Error},
    {"sendDTEbyMail=> Run: ", false, "", 0, Type::Information},
    {"sendDTEbyMail=> Dispatch lock of the database obtained", true, "", 0, Type::Information},
    {"sendDTEbyMail=> Marked from the journal: ", false, "", 0, Type::Information},
    {"sendDTEbyMail=> Removed ", false, "", 0, Type::Information},
    {"sendDTEbyMail=> Resend of ", false, "", 0, Type::Information},
    {"sendDTEbyMail=> ", false, "", kError | 11, Type::Error},
    // A 421 or a passing failure clears by itself, and a service's request
    // to wait is no fault: only a refused login needs a person.
    {"Corvex=> Sending stopped for ", false, ", next login at ", kError | 12, Type::Error},
    {"Corvex=> Email send failed: ", false, "", kError | 13, Type::Error},
};

QJsonObject readMemory(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QJsonDocument::fromJson(file.readAll()).object();
}

void writeMemory(const QString& path, const QJsonObject& memory) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return;
  file.write(QJsonDocument(memory).toJson(QJsonDocument::Compact));
  file.commit();
}

}  // namespace

std::optional<EventEntry> mirroredEvent(const QString& line) {
  for (const MirroredLine& row : kMirroredLines) {
    const QString start = QString::fromLatin1(row.start);
    if (!(row.wholeLine ? line == start : line.startsWith(start)) || !line.contains(QLatin1String(row.holds))) continue;
    if (row.id == 0) return std::nullopt;
    return EventEntry{row.id, row.type, line};
  }
  return std::nullopt;
}

LogMirror::LogMirror(AppFolder folder, std::unique_ptr<EventSink> sink)
    : m_folder(std::move(folder)), m_sink(std::move(sink)) {}

void LogMirror::mirror(const QString& line, const QDateTime& now) {
  const std::optional<EventEntry> entry = mirroredEvent(line);
  if (!entry || !m_sink) return;
  const QString path = m_folder.path(kMemoryFile);
  QJsonObject memory = readMemory(path);
  const QString kind = QString::number(entry->id & 0xFFFF);
  const QJsonObject last = memory.value(kind).toObject();
  const QDateTime lastTime = QDateTime::fromString(last.value(QStringLiteral("time")).toString(), Qt::ISODate);
  // A clock set back makes the last entry's time lie ahead: not a repeat.
  const qint64 age = lastTime.isValid() ? lastTime.secsTo(now) : -1;
  if (last.value(QStringLiteral("text")).toString() == line && age >= 0 && age < kRepeatAfterSeconds) return;
  m_sink->report(*entry);
  memory.insert(kind, QJsonObject{{QStringLiteral("text"), line}, {QStringLiteral("time"), now.toString(Qt::ISODate)}});
  writeMemory(path, memory);
}

}  // namespace corvex
