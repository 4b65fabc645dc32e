#include "log/daily_log.h"

#include "base/clock.h"

#include <QFile>

namespace corvex {

DailyLog::DailyLog(AppFolder folder, const Clock& clock, LogMirror* mirror)
    : m_folder(std::move(folder)), m_clock(clock), m_mirror(mirror) {}

QString DailyLog::filePath(const QDate& day) const {
  return m_folder.path(QStringLiteral("logs/") + day.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".txt"));
}

void DailyLog::WriteLog(const QString& text) const {
  // One reading of the clock serves both the file name and the stamp, so a
  // line written at midnight cannot carry the other day's date.
  const QDateTime now = m_clock.now();
  // A line the file cannot take (no logs folder, a full disk) is all the
  // more worth an administrator's eye.
  if (m_mirror) m_mirror->mirror(text, now);
  QFile file(filePath(now.date()));
  // QFile would not create the folder either; a failed open or write simply
  // drops the line, and QFile closes itself on every path.
  if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return;
  const QByteArray line = (formatTimestamp(now) + QStringLiteral(" - ") + text + QStringLiteral("\r\n")).toUtf8();
  file.write(line);
}

}  // namespace corvex
