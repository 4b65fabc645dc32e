#pragma once

#include "base/app_folder.h"

#include <QDateTime>

#include <optional>

namespace corvex {

/// A Corvex at work on an Application folder.
struct RunningProgram {
  qint64 pid = 0;
  /// When it took the folder's instance lock.
  QDateTime since;
};

/// The Corvex that holds the instance lock of `folder` ("corvex.lock", see
/// InstanceLock) and still runs (one on another machine is taken to run);
/// none when no Corvex works on the folder. Looks only: it takes no lock, so
/// a program starting meanwhile is never turned away.
std::optional<RunningProgram> runningProgram(const AppFolder& folder);

}  // namespace corvex
