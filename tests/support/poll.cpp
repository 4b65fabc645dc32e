#include "support/poll.h"

#include <QDeadlineTimer>
#include <QThread>

namespace corvex::test {

namespace {

constexpr unsigned long kIntervalMs = 20;

}  // namespace

bool pollUntil(const std::function<bool()>& done, int timeoutMs) {
  const QDeadlineTimer deadline(timeoutMs);
  while (!deadline.hasExpired()) {
    if (done()) return true;
    QThread::msleep(kIntervalMs);
  }
  return done();
}

}  // namespace corvex::test
