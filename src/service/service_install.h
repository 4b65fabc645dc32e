#pragma once

#include "base/app_folder.h"

#include <QString>
#include <QTextStream>

namespace corvex {

/// The account a service runs under: empty for LocalSystem.
struct ServiceAccount {
  QString name;
  QString password;
};

/// `corvex service install`: registers Corvex with the Service Control
/// Manager, started at boot under `account` as
/// `corvex.exe service run --app-dir FOLDER`, and restarted by the manager a
/// minute after it ended with an error. Needs an administrator. Returns the
/// exit status (0 done, 1 refused, with the system's reason on `err`).
int installService(const ServiceAccount& account, const AppFolder& folder, QTextStream& out, QTextStream& err);

/// `corvex service uninstall`: stops the service (the document in hand
/// finished) and removes its registration. Returns the exit status.
int uninstallService(QTextStream& out, QTextStream& err);

}  // namespace corvex
