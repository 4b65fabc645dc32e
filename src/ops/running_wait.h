#pragma once

#include "base/app_folder.h"
#include "base/settings.h"

#include <QDateTime>
#include <QString>

namespace corvex {

/// What `corvex check` and `corvex test-mail` tell of the running program's
/// login wait (see LoginWait), which they never add to: they always try.
struct RunningWait {
  /// Empty when no wait holds; else what holds, or held until this login.
  QString text;
  /// The wait holds on (this login failed, or the running program waits for
  /// other login settings than these).
  bool holds = false;
};

/// The wait `folder` keeps, told for an operator's command that logged in
/// with `settings` (`loggedIn` when its login worked) at `now`. A login that
/// worked with the settings the wait was kept for ends it: the running
/// program mails at its next run.
RunningWait runningWait(const AppFolder& folder, const Settings& settings, bool loggedIn, const QDateTime& now);

}  // namespace corvex
