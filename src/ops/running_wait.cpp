#include "ops/running_wait.h"

#include "base/error.h"
#include "mail/login_wait.h"
#include "mail/mail_account.h"
#include "mail/stop_lines.h"

namespace corvex {

RunningWait runningWait(const AppFolder& folder, const Settings& settings, bool loggedIn, const QDateTime& now) {
  RealFileSystem files;
  LoginWait wait(folder, files);
  const std::optional<SendingWait> kept = readSendingWait(folder);
  const bool same = wait.keptFor(loginSettingsText(settings));
  // Trapped here: a wait that cannot be ended is told as holding.
  try {
    if (loggedIn && same) wait.ended();
  } catch (const FileError& error) {
    return RunningWait{error.description(), true};
  }
  if (!kept || now >= kept->until) return {};
  const QString told = waitDescription(*kept);
  if (loggedIn && same) return RunningWait{told + QStringLiteral("; this login worked, so the wait is over"), false};
  if (!same)
    return RunningWait{told + QStringLiteral("; it waits for other login settings than these, which it read at its "
                                             "start"),
                       true};
  return RunningWait{told, true};
}

}  // namespace corvex
