#pragma once

#include "base/clock.h"

namespace corvex::test {

/// A clock that stands still until the test moves it.
class FixedClock final : public Clock {
 public:
  explicit FixedClock(QDateTime now);
  QDateTime now() const override { return m_now; }
  void set(QDateTime now) { m_now = std::move(now); }
  void advanceSeconds(int seconds) { m_now = m_now.addSecs(seconds); }

 private:
  QDateTime m_now;
};

/// A local date and time from its parts, for readable tests.
QDateTime localTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

}  // namespace corvex::test
