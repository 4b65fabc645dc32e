#include "app/command_line.h"

#include <QCommandLineParser>

namespace corvex {

namespace {

const QString kDescription = QStringLiteral(
    "Mails the tax documents that the authority accepted to their buyers, "
    "with their signed JSON and their PDF.");

}  // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(kDescription);
  const QCommandLineOption appDir(QStringLiteral("app-dir"),
                                  QStringLiteral("The Application folder (default: the program's folder)."),
                                  QStringLiteral("DIR"));
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                QStringLiteral("Shows this help."));
  const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Shows the version."));
  parser.addOptions({appDir, help, version});

  CommandLine result;
  if (!parser.parse(QStringList{QStringLiteral("corvex")} + arguments)) {
    result.action = CommandLine::Action::Invalid;
    result.message = parser.errorText();
  } else if (!parser.positionalArguments().isEmpty()) {
    result.action = CommandLine::Action::Invalid;
    result.message = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first());
  } else if (parser.isSet(help)) {
    result.action = CommandLine::Action::Help;
    result.message = parser.helpText();
  } else if (parser.isSet(version)) {
    result.action = CommandLine::Action::Version;
    result.message = QStringLiteral("corvex " CORVEX_VERSION);
  }
  result.appDir = parser.value(appDir);
  return result;
}

}  // namespace corvex
