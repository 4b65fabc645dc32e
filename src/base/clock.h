#pragma once

#include <QDateTime>

namespace corvex {

/// Where the program reads the local date and time. Abstract so a test can
/// hold time still or move it across midnight.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual QDateTime now() const = 0;
};

/// The machine's local time.
class SystemClock final : public Clock {
 public:
  QDateTime now() const override { return QDateTime::currentDateTime(); }
};

/// "yyyy-mm-dd hh:nn:ss" on the 24-hour clock, the form of log lines and of
/// the "Last Run: " caption.
QString formatTimestamp(const QDateTime& time);

}  // namespace corvex
