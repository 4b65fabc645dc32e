#include "log/daily_log.h"

#include "base/clock.h"
#include "base/file_system.h"

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
  // A failed open or write simply drops the line.
  appendToFile(filePath(now.date()),
               (formatTimestamp(now) + QStringLiteral(" - ") + text + QStringLiteral("\r\n")).toUtf8());
}

}  // namespace corvex
