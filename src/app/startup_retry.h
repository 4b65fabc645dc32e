#pragma once

#include "base/clock.h"
#include "log/daily_log.h"

#include <QDateTime>
#include <QString>

namespace corvex {

/// How the service meets a set-up that is not usable yet (main.ini still the
/// example, a database that is not up yet at boot, another Corvex on the
/// folder): it stays up and tries start-up again every 30 s, rather than
/// ending and being restarted by the manager in a loop, and says what is
/// wrong when it changes and once an hour. "*log" and "*clock" must outlive
/// this object.
class StartupRetry {
 public:
  static constexpr int kRetryMs = 30000;

  StartupRetry(const DailyLog& log, const Clock& clock);

  /// A start-up that failed with `errorText` ("error 53: ..."): writes
  /// "Start-up=> " + errorText, unless it said the same within the hour.
  void failed(const QString& errorText);

  /// Waits until the next try; false when a stop request came first (or
  /// before), which ends the service.
  bool waitForNextTry() const;

 private:
  const DailyLog& m_log;
  const Clock& m_clock;
  QString m_said;
  QDateTime m_saidAt;
};

}  // namespace corvex
