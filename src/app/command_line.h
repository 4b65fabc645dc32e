#pragma once

#include <QString>
#include <QStringList>

namespace corvex {

/// What the operator asked for. Plain `corvex` takes no arguments and runs
/// as the product always did, from the executable's folder.
struct CommandLine {
  enum class Action {
    Run,
    Render,
    Demo,
    Check,
    TestMail,
    Resend,
    Status,
    History,
    DismissBounce,
    Service,
    Help,
    Version,
    Invalid
  };
  Action action = Action::Run;
  /// The Application folder; empty means the executable's folder.
  QString appDir;
  /// No window: captions go to standard output.
  bool headless = false;
  /// One dispatch run at once, then exit.
  bool once = false;
  /// A run that takes the error path ends the process with status 1, so a
  /// service manager restarts it, instead of leaving it idle.
  bool exitOnError = false;
  /// Status: one JSON object instead of lines (--json).
  bool json = false;
  /// Render: "factura" or "credito-fiscal", or "dte" and the file of a
  /// DTE's JSON; render, resend, history and dismiss-bounce: the document's
  /// series and number.
  QString layout;
  QString file;
  QString serie;
  qint32 numero = 0;
  /// Resend: where its next mail goes (--to); empty: the view's address.
  QString to;
  /// Demo: the workspace folder.
  QString demoDir;
  /// Test-mail: where the sample message goes.
  QString address;
  /// Service (Windows): "install", "uninstall", or "run" (what the Service
  /// Control Manager starts); install: the account it runs under (empty:
  /// "NT SERVICE\Corvex"). Its password is never taken from here.
  QString serviceVerb;
  QString account;
  /// Help text, version text or the reason the arguments were refused.
  QString message;
};

/// Parses the arguments (without the program name).
CommandLine parseCommandLine(const QStringList& arguments);

}  // namespace corvex
