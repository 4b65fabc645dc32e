#include "app/run.h"

#include "app/application.h"
#include "app/command_line.h"
#include "base/error.h"

#include <QCoreApplication>
#include <QTextStream>

namespace corvex {

namespace {

constexpr int kStartupFailed = 2;
constexpr int kBadArguments = 64;

QString applicationDir(const CommandLine& commandLine) {
  return commandLine.appDir.isEmpty() ? QCoreApplication::applicationDirPath() : commandLine.appDir;
}

}  // namespace

int runCorvex(int argc, char** argv) {
  QCoreApplication qtApp(argc, argv);
  QTextStream out(stdout);
  QTextStream err(stderr);
  const CommandLine commandLine = parseCommandLine(QCoreApplication::arguments().mid(1));
  switch (commandLine.action) {
    case CommandLine::Action::Help:
    case CommandLine::Action::Version:
      out << commandLine.message << Qt::endl;
      return 0;
    case CommandLine::Action::Invalid:
      err << "corvex: " << commandLine.message << Qt::endl;
      return kBadArguments;
    case CommandLine::Action::Run:
      break;
  }
  SystemClock clock;
  Application app(AppFolder(applicationDir(commandLine)), clock);
  // Trapped here, the one place an error may end the program: start-up.
  try {
    app.Main();
  } catch (const Error& error) {
    err << "corvex: error " << error.number() << ": " << error.description() << Qt::endl;
    return kStartupFailed;
  }
  return 0;
}

}  // namespace corvex
