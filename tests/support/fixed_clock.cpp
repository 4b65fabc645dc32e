#include "support/fixed_clock.h"

namespace corvex::test {

FixedClock::FixedClock(QDateTime now) : m_now(std::move(now)) {}

QDateTime localTime(int year, int month, int day, int hour, int minute, int second) {
  return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}

}  // namespace corvex::test
