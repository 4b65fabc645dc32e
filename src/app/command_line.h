#pragma once

#include <QString>
#include <QStringList>

namespace corvex {

/// What the operator asked for. Plain `corvex` takes no arguments and runs
/// as the product always did, from the executable's folder.
struct CommandLine {
  enum class Action { Run, Help, Version, Invalid };
  Action action = Action::Run;
  /// The Application folder; empty means the executable's folder.
  QString appDir;
  /// Help text, version text or the reason the arguments were refused.
  QString message;
};

/// Parses the arguments (without the program name).
CommandLine parseCommandLine(const QStringList& arguments);

}  // namespace corvex
