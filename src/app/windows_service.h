#pragma once

#include "app/command_line.h"
#include "base/app_folder.h"

#include <QString>
#include <QTextStream>

#include <functional>

namespace corvex {

/// The name Corvex is registered under with the Service Control Manager.
extern const wchar_t* const kServiceName;

/// `corvex service install`: registers Corvex with the Service Control
/// Manager, started at boot under `commandLine.account` (LocalSystem when
/// empty) as `corvex.exe service run --app-dir FOLDER`, and restarted by
/// the manager a minute after it ended with an error. Needs an administrator.
/// Returns the exit status (0 done, 1 refused, with the system's reason on
/// `err`).
int installService(const CommandLine& commandLine, const AppFolder& folder, QTextStream& out, QTextStream& err);

/// `corvex service uninstall`: stops the service (the document in hand
/// finished) and removes its registration. Returns the exit status.
int uninstallService(QTextStream& out, QTextStream& err);

/// `corvex service run`, as the Service Control Manager starts it: connects
/// to the manager, runs `life` (the headless program) on the calling thread,
/// turns the manager's stop and shut-down into a stop request, and reports
/// the end with `life`'s status as the service's exit code. Start and end
/// go to the daily log. Returns `life`'s status; 1 when the process was not
/// started by the manager.
int runAsService(const AppFolder& folder, const std::function<int()>& life, QTextStream& err);

}  // namespace corvex
