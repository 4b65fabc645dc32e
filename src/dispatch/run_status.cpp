#include "dispatch/run_status.h"

#include "base/checked_file.h"
#include "base/error.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace corvex {

namespace {

// No real status file is this long; a larger one is not ours.
constexpr qint64 kMaxFileBytes = 4 * 1024 * 1024;

QString timeText(const QDateTime& time) { return time.isValid() ? time.toUTC().toString(Qt::ISODate) : QString(); }

QDateTime timeOf(const QJsonValue& value) { return QDateTime::fromString(value.toString(), Qt::ISODate).toLocalTime(); }

QJsonArray failingArray(const QList<RepeatedFailures::Failure>& failing) {
  QJsonArray array;
  for (const RepeatedFailures::Failure& failure : failing)
    array << QJsonObject{{QStringLiteral("key"), failure.key},
                         {QStringLiteral("line"), failure.line},
                         {QStringLiteral("since"), timeText(failure.since)},
                         {QStringLiteral("attempts"), failure.attempts}};
  return array;
}

QList<RepeatedFailures::Failure> failingOf(const QJsonArray& array) {
  QList<RepeatedFailures::Failure> failing;
  for (const QJsonValue& value : array) {
    const QJsonObject object = value.toObject();
    failing << RepeatedFailures::Failure{
        object[QStringLiteral("key")].toString(), object[QStringLiteral("line")].toString(),
        timeOf(object[QStringLiteral("since")]), object[QStringLiteral("attempts")].toInt()};
  }
  return failing;
}

QJsonObject statusObject(const RunStatus& status) {
  return QJsonObject{{QStringLiteral("pid"), status.pid},
                     {QStringLiteral("intervalSeconds"), status.intervalSeconds},
                     {QStringLiteral("running"), status.running},
                     {QStringLiteral("runStarted"), timeText(status.runStarted)},
                     {QStringLiteral("lastBeat"), timeText(status.lastBeat)},
                     {QStringLiteral("lastStarted"), timeText(status.lastStarted)},
                     {QStringLiteral("lastEnded"), timeText(status.lastEnded)},
                     {QStringLiteral("lastNormal"), status.lastNormal},
                     {QStringLiteral("lastError"), status.lastError},
                     {QStringLiteral("listed"), status.listed},
                     {QStringLiteral("mailed"), status.mailed},
                     {QStringLiteral("failed"), status.failed},
                     {QStringLiteral("failing"), failingArray(status.failing)}};
}

RunStatus statusOf(const QJsonObject& object) {
  return RunStatus{object[QStringLiteral("pid")].toInteger(),
                   object[QStringLiteral("intervalSeconds")].toInt(kPollIntervalMs / 1000),
                   object[QStringLiteral("running")].toBool(),
                   timeOf(object[QStringLiteral("runStarted")]),
                   timeOf(object[QStringLiteral("lastBeat")]),
                   timeOf(object[QStringLiteral("lastStarted")]),
                   timeOf(object[QStringLiteral("lastEnded")]),
                   object[QStringLiteral("lastNormal")].toBool(true),
                   object[QStringLiteral("lastError")].toString(),
                   object[QStringLiteral("listed")].toInteger(),
                   object[QStringLiteral("mailed")].toInteger(),
                   object[QStringLiteral("failed")].toInteger(),
                   failingOf(object[QStringLiteral("failing")].toArray())};
}

}  // namespace

RunStatusFile::RunStatusFile(const AppFolder& folder) : m_path(folder.path(QString::fromLatin1(kFileName))) {
  m_status.pid = QCoreApplication::applicationPid();
}

void RunStatusFile::started(const QDateTime& now) {
  m_status.running = true;
  m_status.runStarted = now;
  m_status.lastBeat = now;
  write();
}

void RunStatusFile::beat(const QDateTime& now) {
  m_status.lastBeat = now;
  if (!m_written.isValid() || m_written.msecsTo(now) >= kPollIntervalMs) write();
}

void RunStatusFile::ended(const QDateTime& now, bool normal, const QString& error, qsizetype listed, qsizetype mailed,
                          qsizetype failed, const QList<RepeatedFailures::Failure>& failing) {
  m_status.running = false;
  m_status.lastStarted = m_status.runStarted;
  m_status.lastEnded = now;
  m_status.lastNormal = normal;
  m_status.lastError = error;
  m_status.listed = listed;
  m_status.mailed = mailed;
  m_status.failed = failed;
  m_status.failing = failing;
  write();
}

// Trapped here: the file only tells; a status that could not be written
// shows as a run that is late, which is what a full disk deserves.
void RunStatusFile::write() {
  try {
    writeFileReplacing(m_files, m_path, QJsonDocument(statusObject(m_status)).toJson());
    m_written = m_status.running ? m_status.lastBeat : m_status.lastEnded;
  } catch (const FileError&) {
  }
}

std::optional<RunStatus> readRunStatus(const AppFolder& folder) {
  // Trapped here: a file that cannot be read tells nothing.
  try {
    const QJsonDocument document = QJsonDocument::fromJson(
        readBoundedFile(folder.path(QString::fromLatin1(RunStatusFile::kFileName)), kMaxFileBytes));
    if (!document.isObject()) return std::nullopt;
    return statusOf(document.object());
  } catch (const Error&) {
    return std::nullopt;
  }
}

}  // namespace corvex
