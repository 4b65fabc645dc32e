#include "app/command_line.h"

#include "mail/mail_address.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace corvex {

namespace {

const QString kDescription = QStringLiteral(
    "Mails the tax documents that the authority accepted to their buyers, with their signed JSON and their PDF.\n\n"
    "Commands:\n"
    "  (none)                                   poll and mail, in a window or headless\n"
    "  check                                    check the whole set-up without mailing or marking anything\n"
    "  test-mail ADDRESS                        mail one sample message through the configured transport\n"
    "  resend SERIE NUMERO [--to ADDRESS]       have the next run mail that document again (to ADDRESS)\n"
    "  status [--json]                          what Corvex is doing; exit 1 when a person is needed\n"
    "  history SERIE NUMERO                     every mail of that document, with its proof and any bounce\n"
    "  dismiss-bounce SERIE NUMERO              settle that document's bounces without mailing it again\n"
    "  render factura|credito-fiscal SERIE NUMERO  write one document's PDF into files/ and print its path\n"
    "  render dte FILE                          write the PDF of a DTE's JSON file into files/ and print its path\n"
    "  demo [DIR]                               build a demo workspace (default ./corvex-demo) and mail it once\n"
    "  service install [--account NAME] | uninstall\n"
    "                                           (Windows) register Corvex as a service started at boot, or remove it\n"
    "                                           (a copy without the package; its password from standard input)");

const QString kAccountOnlyForInstall = QStringLiteral("--account goes with service install only.");
// A password on the command line stays in process listings and the shell's
// history.
const QString kNoPasswordOption = QStringLiteral(
    "--password is not taken: corvex service install reads the account's password from standard "
    "input, or asks for it.");

CommandLine invalid(const QString& message) {
  CommandLine result;
  result.action = CommandLine::Action::Invalid;
  result.message = message;
  return result;
}

// A document number: a 32-bit whole number.
bool parseNumero(const QString& word, CommandLine& result) {
  bool ok = false;
  result.numero = word.toInt(&ok);
  return ok;
}

QString numeroProblem(const QString& word) {
  return QStringLiteral("The number '%1' is not a 32-bit whole number.").arg(word);
}

// "resend SERIE NUMERO", its --to already in `result`.
CommandLine parseResend(const QStringList& words, CommandLine result) {
  if (words.size() != 3) return invalid(QStringLiteral("Usage: corvex resend SERIE NUMERO [--to ADDRESS]"));
  if (!parseNumero(words[2], result)) return invalid(numeroProblem(words[2]));
  if (!result.to.isEmpty()) {
    if (const QString problem = addressProblem(QStringLiteral("recipient"), result.to); !problem.isEmpty())
      return invalid(problem);
    // The mailer would split a list and mail every address in it.
    if (result.to.contains(QLatin1Char(';')) || result.to.contains(QLatin1Char(',')))
      return invalid(QStringLiteral("--to takes one address, not \"%1\".").arg(result.to));
  }
  result.action = CommandLine::Action::Resend;
  result.serie = words[1];
  return result;
}

// "status", "history SERIE NUMERO" or "dismiss-bounce SERIE NUMERO", its
// --json already in `result`.
CommandLine parseLedgerCommand(const QStringList& words, CommandLine result) {
  if (words.first() == QStringLiteral("status")) {
    if (words.size() != 1) return invalid(QStringLiteral("Usage: corvex status [--json] [--app-dir DIR]"));
    result.action = CommandLine::Action::Status;
    return result;
  }
  if (result.json) return invalid(QStringLiteral("--json goes with status only."));
  if (words.size() != 3)
    return invalid(QStringLiteral("Usage: corvex %1 SERIE NUMERO [--app-dir DIR]").arg(words.first()));
  if (!parseNumero(words[2], result)) return invalid(numeroProblem(words[2]));
  result.action =
      words.first() == QStringLiteral("history") ? CommandLine::Action::History : CommandLine::Action::DismissBounce;
  result.serie = words[1];
  return result;
}

// "service install|uninstall|run", its --account already in `result`. Only Windows has a Service Control Manager;
// elsewhere the system's service manager runs Corvex (the systemd units of the package).
CommandLine parseService(const QStringList& words, CommandLine result) {
#ifdef Q_OS_WIN
  const QStringList verbs{QStringLiteral("install"), QStringLiteral("uninstall"), QStringLiteral("run")};
  if (words.size() != 2 || !verbs.contains(words[1]))
    return invalid(
        QStringLiteral("Usage: corvex service install [--account NAME] [--app-dir DIR] | corvex service uninstall"));
  if (words[1] != QStringLiteral("install") && !result.account.isEmpty()) return invalid(kAccountOnlyForInstall);
  result.action = CommandLine::Action::Service;
  result.serviceVerb = words[1];
  result.headless = true;
  return result;
#else
  Q_UNUSED(words);
  Q_UNUSED(result);
  return invalid(
      QStringLiteral("The service command is for Windows; on Linux the package's systemd unit runs Corvex "
                     "(systemctl enable --now corvex)."));
#endif
}

// "render LAYOUT SERIE NUMERO", "resend SERIE NUMERO", "demo [DIR]", "check"
// or "test-mail ADDRESS"; anything else is refused.
CommandLine parseCommand(const QStringList& words, CommandLine result) {
  const QString command = words.first();
  if (command == QStringLiteral("resend")) return parseResend(words, result);
  if (!result.to.isEmpty()) return invalid(QStringLiteral("--to goes with resend only."));
  if (command == QStringLiteral("service")) return parseService(words, result);
  if (!result.account.isEmpty()) return invalid(kAccountOnlyForInstall);
  const QStringList ledgerCommands{QStringLiteral("status"), QStringLiteral("history"),
                                   QStringLiteral("dismiss-bounce")};
  if (ledgerCommands.contains(command)) return parseLedgerCommand(words, result);
  if (result.json) return invalid(QStringLiteral("--json goes with status only."));
  if (command == QStringLiteral("demo") && words.size() <= 2) {
    result.action = CommandLine::Action::Demo;
    result.demoDir = words.size() == 2 ? words[1] : QStringLiteral("corvex-demo");
    return result;
  }
  if (command == QStringLiteral("check")) {
    if (words.size() != 1) return invalid(QStringLiteral("Usage: corvex check [--app-dir DIR]"));
    result.action = CommandLine::Action::Check;
    return result;
  }
  if (command == QStringLiteral("test-mail")) {
    if (words.size() != 2) return invalid(QStringLiteral("Usage: corvex test-mail ADDRESS [--app-dir DIR]"));
    if (const QString problem = addressProblem(QStringLiteral("recipient"), words[1]); !problem.isEmpty())
      return invalid(problem);
    result.action = CommandLine::Action::TestMail;
    result.address = words[1];
    return result;
  }
  if (command != QStringLiteral("render")) return invalid(QStringLiteral("Unexpected argument '%1'.").arg(command));
  if (words.size() >= 2 && words[1] == QStringLiteral("dte")) {
    if (words.size() != 3) return invalid(QStringLiteral("Usage: corvex render dte FILE"));
    result.action = CommandLine::Action::Render;
    result.layout = words[1];
    result.file = words[2];
    return result;
  }
  if (words.size() != 4) return invalid(QStringLiteral("Usage: corvex render factura|credito-fiscal SERIE NUMERO"));
  if (words[1] != QStringLiteral("factura") && words[1] != QStringLiteral("credito-fiscal"))
    return invalid(QStringLiteral("Unknown layout '%1': use factura, credito-fiscal or dte.").arg(words[1]));
  if (!parseNumero(words[3], result)) return invalid(numeroProblem(words[3]));
  result.action = CommandLine::Action::Render;
  result.layout = words[1];
  result.serie = words[2];
  return result;
}

// A negative document number ("render factura A -7") is a value, not an
// option: it is hidden from the option parser and restored afterwards.
const QString kNegativeMark = QStringLiteral("\u0001");

QStringList protectNegativeNumbers(const QStringList& arguments) {
  static const QRegularExpression negative(QStringLiteral("^-\\d+$"));
  QStringList protectedArguments;
  for (const QString& argument : arguments)
    protectedArguments << (negative.match(argument).hasMatch() ? kNegativeMark + argument : argument);
  return protectedArguments;
}

QStringList restoreNegativeNumbers(QStringList words) {
  for (QString& word : words) {
    if (word.startsWith(kNegativeMark)) word.remove(0, kNegativeMark.size());
  }
  return words;
}

}  // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(kDescription);
  const QCommandLineOption appDir(QStringLiteral("app-dir"),
                                  QStringLiteral("The Application folder (default: the program's folder)."),
                                  QStringLiteral("DIR"));
  const QCommandLineOption headless(QStringLiteral("headless"),
                                    QStringLiteral("No window: print each caption as a line on standard output."));
  const QCommandLineOption once(QStringLiteral("once"),
                                QStringLiteral("One dispatch run at once, then exit (0 normal end, 1 error)."));
  const QCommandLineOption exitOnError(
      QStringLiteral("exit-on-error"),
      QStringLiteral("A run that fails ends the program with status 1 (for service managers)."));
  const QCommandLineOption to(QStringLiteral("to"),
                              QStringLiteral("resend: the address the document's next mail goes to."),
                              QStringLiteral("ADDRESS"));
  const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("status: one JSON object instead of lines."));
  const QCommandLineOption account(QStringLiteral("account"),
                                   QStringLiteral("service install: the account the service runs under "
                                                  "(default NT SERVICE\\Corvex)."),
                                   QStringLiteral("NAME"));
  // Known only to be refused with the reason.
  QCommandLineOption password(QStringLiteral("password"), QString(), QStringLiteral("PWD"));
  password.setFlags(QCommandLineOption::HiddenFromHelp);
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                QStringLiteral("Shows this help."));
  const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Shows the version."));
  parser.addOptions({appDir, headless, once, exitOnError, to, json, account, password, help, version});
  if (!parser.parse(QStringList{QStringLiteral("corvex")} + protectNegativeNumbers(arguments)))
    return invalid(parser.errorText());
  if (parser.isSet(password)) return invalid(kNoPasswordOption);

  CommandLine result;
  result.appDir = parser.value(appDir);
  result.once = parser.isSet(once);
  result.exitOnError = parser.isSet(exitOnError);
  result.headless = parser.isSet(headless) || result.once;
  result.to = parser.value(to);
  if (parser.isSet(to) && result.to.isEmpty()) return invalid(QStringLiteral("--to needs an address."));
  result.json = parser.isSet(json);
  result.account = parser.value(account);
  if (parser.isSet(help)) {
    result.action = CommandLine::Action::Help;
    // The parser names the program after the running application, which
    // does not exist yet while the arguments are read.
    result.message = parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("corvex"));
  } else if (parser.isSet(version)) {
    result.action = CommandLine::Action::Version;
    result.message = QStringLiteral("corvex " CORVEX_VERSION);
  } else if (!parser.positionalArguments().isEmpty()) {
    return parseCommand(restoreNegativeNumbers(parser.positionalArguments()), result);
  } else if (parser.isSet(to)) {
    return invalid(QStringLiteral("--to goes with resend only."));
  } else if (result.json) {
    return invalid(QStringLiteral("--json goes with status only."));
  } else if (parser.isSet(account)) {
    return invalid(kAccountOnlyForInstall);
  }
  return result;
}

}  // namespace corvex
