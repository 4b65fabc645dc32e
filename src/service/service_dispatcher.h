#pragma once

#include "base/app_folder.h"

#include <QTextStream>

#include <functional>

namespace corvex {

/// `corvex service run`, as the Service Control Manager starts it: connects
/// to the manager, runs `life` (the headless program) on the calling thread,
/// turns the manager's stop and shut-down into a stop request, and reports
/// the end with `life`'s status as the service's exit code. Start and end
/// go to the daily log. Returns `life`'s status; 1 when the process was not
/// started by the manager.
int runAsService(const AppFolder& folder, const std::function<int()>& life, QTextStream& err);

}  // namespace corvex
