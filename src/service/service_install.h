#pragma once

#include "base/app_folder.h"

#include <QString>
#include <QTextStream>

namespace corvex {

/// `corvex service install`, for a copy without the package: registers
/// Corvex with the Service Control Manager as
/// `corvex.exe service run --app-dir FOLDER`, started at boot (delayed),
/// restarted by the manager a minute after it ended with an error, and given
/// the machine's pre-shutdown to finish the document in hand. It runs under
/// `account`, by default "NT SERVICE\Corvex"; an account that needs a
/// password has it read from standard input, or asked for without echo at a
/// console, never from the command line. Needs an administrator. Returns
/// the exit status (0 done, 1 refused, with the reason on `err`).
int installService(const QString& account, const AppFolder& folder, QTextStream& out, QTextStream& err);

/// `corvex service uninstall`: stops the service (the document in hand
/// finished) and removes its registration. Returns the exit status.
int uninstallService(QTextStream& out, QTextStream& err);

}  // namespace corvex
