#pragma once

#include "log/daily_log.h"

#include <QTextStream>

#include <functional>

namespace corvex {

/// `corvex service run`, as the Service Control Manager starts it: connects
/// to the manager, runs `life` (the headless program) on the calling thread,
/// turns the manager's stop, pre-shutdown and shut-down into a stop request,
/// tells the manager every few seconds that the stop goes on until `life`
/// has returned, and reports the end with `life`'s status as the service's
/// exit code, ending the process right after. Start and end go to `log`.
/// Returns only when the process was not started by the manager, with 1.
int runAsService(const DailyLog& log, const std::function<int()>& life, QTextStream& err);

}  // namespace corvex
