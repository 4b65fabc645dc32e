#include "app/startup_retry.h"

#include "service/stop_signals.h"

#include <QEventLoop>
#include <QTimer>

namespace corvex {

namespace {

constexpr qint64 kSayAgainSeconds = 3600;

}  // namespace

StartupRetry::StartupRetry(const DailyLog& log, const Clock& clock) : m_log(log), m_clock(clock) {}

void StartupRetry::failed(const QString& errorText) {
  const QString line = QStringLiteral("Start-up=> ") + errorText;
  const QDateTime now = m_clock.now();
  if (line == m_said && m_saidAt.secsTo(now) >= 0 && m_saidAt.secsTo(now) < kSayAgainSeconds) return;
  m_log.WriteLog(line + QStringLiteral(" (tried again every %1 s)").arg(kRetryMs / 1000));
  m_said = line;
  m_saidAt = now;
}

// A stop request quits every event loop of the thread, this one included,
// and one that comes before it starts leaves it no time at all.
bool StartupRetry::waitForNextTry() const {
  if (stopRequested()) return false;
  QEventLoop loop;
  QTimer::singleShot(kRetryMs, &loop, &QEventLoop::quit);
  loop.exec();
  return !stopRequested();
}

}  // namespace corvex
