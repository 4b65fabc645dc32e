#pragma once

#include "base/app_folder.h"
#include "base/clock.h"
#include "log/log_mirror.h"

#include <QString>

namespace corvex {

/// The program's one diagnostic channel once it runs unattended: one text file
/// per local calendar day, logs/YYYYMMDD.txt below the Application folder.
///
/// The file is opened and closed within each call, so other programs can read
/// it between calls. The logs folder must exist; it is never created.
/// "*clock", and "*mirror" when given, must outlive this object; the mirror
/// sees every line, whether or not the file took it.
class DailyLog {
 public:
  DailyLog(AppFolder folder, const Clock& clock, LogMirror* mirror = nullptr);

  /// Appends "yyyy-mm-dd hh:nn:ss - " + text + CR LF, in UTF-8 (the system's
  /// code page on Linux). Never fails: a line that cannot be written is lost.
  void WriteLog(const QString& text) const;

  /// The file that a call at `day` writes to.
  QString filePath(const QDate& day) const;

 private:
  AppFolder m_folder;
  const Clock& m_clock;
  LogMirror* m_mirror;
};

}  // namespace corvex
