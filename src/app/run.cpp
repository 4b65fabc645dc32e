#include "app/run.h"

#include "app/command_line.h"
#include "app/headless_display.h"
#include "app/main_window.h"
#include "app/poll_loop.h"
#include "app/startup_retry.h"
#include "app/toolkit_messages.h"
#include "ops/bounce_dismissal.h"
#include "ops/history_command.h"
#include "ops/resend_command.h"
#include "ops/setup_check.h"
#include "ops/status_command.h"
#include "ops/test_mail.h"
#include "service/instance_lock.h"
#include "service/stop_signals.h"
#include "startup/application.h"
#include "startup/default_app_dir.h"
#include "startup/report_fonts.h"
#ifdef Q_OS_WIN
#include "service/service_dispatcher.h"
#include "service/service_install.h"
#endif
#include "base/error.h"
#include "demo/demo_report.h"
#include "demo/demo_workspace.h"
#include "dte/document.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTextStream>

#include <memory>

namespace corvex {

namespace {

constexpr int kRunFailed = 1;
constexpr int kStartupFailed = 2;
constexpr int kBadArguments = 64;

QTextStream& out() {
  static QTextStream stream(stdout);
  return stream;
}

void printError(const QString& text) {
  static QTextStream stream(stderr);
  stream << "corvex: " << text << Qt::endl;
}

QString errorText(const Error& error) {
  return QStringLiteral("error %1: %2").arg(error.number()).arg(error.description());
}

bool displayAvailable() {
#ifdef Q_OS_UNIX
  return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
  return true;
#endif
}

// Without a window the offscreen platform still gives fonts, images and PDF.
// With one, offscreen is the fallback: a display that is named but cannot be
// opened (gone, refusing) makes the program headless instead of aborting.
void choosePlatform(bool windowed) {
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return;
  if (!windowed) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return;
  }
#ifdef Q_OS_UNIX
  qputenv("QT_QPA_PLATFORM",
          qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ? "xcb;offscreen" : "wayland;xcb;offscreen");
#endif
}

// The instance lock (when given), start-up and the logo; an error ends the
// program, shown in a dialog too when there is a window to show it in, and
// handed to a service's retry, which logs it: nobody reads a service's
// standard error.
bool startUp(Application& app, InstanceLock* lock, bool windowed, StartupRetry* retry) {
  // Trapped here, the one place an error may end the program: start-up.
  try {
    if (lock) lock->acquire();
    app.Main();
    app.Form_Load();
    return true;
  } catch (const Error& error) {
    printError(errorText(error));
    if (windowed) QMessageBox::critical(nullptr, QStringLiteral("Corvex"), errorText(error));
    if (retry) retry->failed(errorText(error));
    return false;
  }
}

// The product's life: "Main", then a run every tick until the window closes,
// a stop is requested (after the document in hand), or (--once) after one
// run.
int poll(Application& app, const CommandLine& commandLine, bool windowed) {
  HeadlessDisplay headless;
  std::unique_ptr<fMain> window = windowed ? std::make_unique<fMain>(app.logo()) : nullptr;
  StatusDisplay& display = window ? static_cast<StatusDisplay&>(*window) : headless;
  DispatchRun run = app.dispatchRun(display, stopRequested);
  QtTickTimer contador(PollLoop::kIntervalMs);
  PollLoop loop(display, contador, [&run, &commandLine] {
    const bool normalEnd = run.sendDTEbyMail();
    // Under a service manager an idle process after an error looks healthy
    // and mails nothing; ending it lets the manager start a fresh one.
    if (!normalEnd && commandLine.exitOnError) QCoreApplication::exit(kRunFailed);
    return normalEnd;
  });
  if (commandLine.once) {
    display.setCaption(QStringLiteral("Main"));
    if (stopRequested()) return 0;
    const int status = loop.Contador_Timer() ? 0 : kRunFailed;
    // A read of the bounce mailbox that the run started ends before the program.
    run.waitForBounces();
    return status;
  }
  loop.start();
  if (window) window->showCentred();
  return QCoreApplication::exec();
}

// The JSON of a DTE as the program writes it (signed, its seal included) or
// as the view holds it.
QString renderDteFile(DocumentRenderer& renderer, const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    throw Error(kFileNotFound, QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
  return renderer.CreateDtePDF(Document::parse(file.readAll()));
}

int render(Application& app, const CommandLine& commandLine) {
  // Trapped here: the operator asked for this one document.
  try {
    DocumentRenderer& renderer = app.renderer();
    if (commandLine.layout == QStringLiteral("dte")) {
      out() << renderDteFile(renderer, commandLine.file) << Qt::endl;
      return 0;
    }
    out() << (commandLine.layout == QStringLiteral("factura")
                  ? renderer.CreateFacturaPDF(commandLine.serie, commandLine.numero)
                  : renderer.CreateCreditoFiscalPDF(commandLine.serie, commandLine.numero))
          << Qt::endl;
    return 0;
  } catch (const Error& error) {
    printError(errorText(error));
    return kRunFailed;
  }
}

// The program's life over one Application folder. A service hands over
// its retry and the program's life its event-log mirror.
struct LifeParts {
  StartupRetry* retry = nullptr;
  LogMirror* mirror = nullptr;
};

int runWithApplication(const CommandLine& commandLine, const QString& appDir, bool windowed, LifeParts parts = {}) {
  SystemClock clock;
  RealFileSystem files;
  Application app(AppFolder(appDir), clock, files, stopRequested, parts.mirror);
  // A test message touches nothing the dispatcher uses, so it may be sent
  // while the service runs on the same folder.
  const bool testMail = commandLine.action == CommandLine::Action::TestMail;
  InstanceLock lock(app.folder());
  if (!startUp(app, testMail ? nullptr : &lock, windowed, parts.retry)) return kStartupFailed;
  if (commandLine.action == CommandLine::Action::Render) return render(app, commandLine);
  if (testMail) {
    QTextStream err(stderr);
    return sendTestMail(app, commandLine.address, out(), err) ? 0 : kRunFailed;
  }
  return poll(app, commandLine, windowed);
}

int demo(const CommandLine& commandLine) {
  // Trapped here: a workspace that cannot be made ends the demo before it starts.
  try {
    createDemoWorkspace(commandLine.demoDir);
  } catch (const Error& error) {
    printError(errorText(error));
    return kStartupFailed;
  }
  CommandLine once = commandLine;
  once.once = true;
  const int status = runWithApplication(once, commandLine.demoDir, false);
  out() << demoReport(commandLine.demoDir);
  return status;
}

#ifdef Q_OS_WIN
// As a service Corvex runs headless, and a failed run ends the process so
// that the manager's recovery starts a fresh one; a start-up that fails is
// tried again in the same process, until it succeeds or a stop comes.
int service(const CommandLine& commandLine, const QString& appDir, LogMirror* mirror) {
  QTextStream err(stderr);
  const AppFolder folder(appDir);
  if (commandLine.serviceVerb == QStringLiteral("install"))
    return installService(commandLine.account, folder, out(), err);
  if (commandLine.serviceVerb == QStringLiteral("uninstall")) return uninstallService(out(), err);
  CommandLine life = commandLine;
  life.action = CommandLine::Action::Run;
  life.exitOnError = true;
  SystemClock clock;
  const DailyLog log(folder, clock, mirror);
  StartupRetry retry(log, clock);
  return runAsService(
      log,
      [&life, &appDir, &retry, mirror] {
        for (;;) {
          const int status = runWithApplication(life, appDir, false, LifeParts{&retry, mirror});
          if (status != kStartupFailed) return status;
          if (!retry.waitForNextTry()) return 0;
        }
      },
      err);
}
#endif

bool isLedgerCommand(CommandLine::Action action) {
  return action == CommandLine::Action::Status || action == CommandLine::Action::History ||
         action == CommandLine::Action::DismissBounce;
}

// The ledger's commands: like resend, no start-up and no instance lock.
int ledgerCommand(const CommandLine& commandLine, const AppFolder& folder) {
  SystemClock clock;
  QTextStream err(stderr);
  if (commandLine.action == CommandLine::Action::Status) return showStatus(folder, clock, commandLine.json, out());
  if (commandLine.action == CommandLine::Action::History)
    return showHistory(folder, commandLine.serie, commandLine.numero, out(), err);
  return dismissBounces(folder, commandLine.serie, commandLine.numero, clock, out(), err);
}

bool runsAsService(const CommandLine& commandLine) {
  return commandLine.action == CommandLine::Action::Service && commandLine.serviceVerb == QStringLiteral("run");
}

// Only the program's life, in a window, headless or as the service, tells
// the system's event log; the operator's commands answer the operator.
std::unique_ptr<LogMirror> eventLogMirror(const CommandLine& commandLine, const QString& appDir) {
  const bool life = commandLine.action == CommandLine::Action::Run || runsAsService(commandLine);
  std::unique_ptr<EventSink> sink = life ? systemEventLog() : nullptr;
  return sink ? std::make_unique<LogMirror>(AppFolder(appDir), std::move(sink)) : nullptr;
}

}  // namespace

namespace {

int runCommand(int argc, char** argv) {
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  const CommandLine commandLine = parseCommandLine(arguments);
  // Before any work that a stop must not cut short. The service hears its
  // stop from the Service Control Manager alone.
  if (!runsAsService(commandLine)) installStopHandlers();
  bool windowed = commandLine.action == CommandLine::Action::Run && !commandLine.headless && displayAvailable();
  choosePlatform(windowed);
  dropToolkitNoise();
  chooseFontFolder();
  QApplication qtApp(argc, argv);
  addReportFonts();
  quitEventLoopOnStop();
  if (windowed && QGuiApplication::platformName() == QStringLiteral("offscreen")) {
    printError(QStringLiteral("the display cannot be opened; running without a window"));
    windowed = false;
  }
  switch (commandLine.action) {
    case CommandLine::Action::Help:
    case CommandLine::Action::Version:
      out() << commandLine.message << Qt::endl;
      return 0;
    case CommandLine::Action::Invalid:
      printError(commandLine.message);
      return kBadArguments;
    case CommandLine::Action::Demo:
      return demo(commandLine);
    case CommandLine::Action::Run:
    case CommandLine::Action::Render:
    case CommandLine::Action::Check:
    case CommandLine::Action::TestMail:
    case CommandLine::Action::Resend:
    case CommandLine::Action::Service:
      break;
    case CommandLine::Action::Status:
    case CommandLine::Action::History:
    case CommandLine::Action::DismissBounce:
      break;
  }
  const QString appDir =
      commandLine.appDir.isEmpty() ? defaultAppDir(QCoreApplication::applicationDirPath()) : commandLine.appDir;
  const std::unique_ptr<LogMirror> mirror = eventLogMirror(commandLine, appDir);
#ifdef Q_OS_WIN
  if (commandLine.action == CommandLine::Action::Service) return service(commandLine, appDir, mirror.get());
#endif
  // The check runs without start-up: it must also explain a set-up that
  // start-up would refuse.
  if (commandLine.action == CommandLine::Action::Check)
    return checkSetup(AppFolder(appDir), out(), stopRequested) ? 0 : kRunFailed;
  // Like the check, a request needs only the database, and no instance lock.
  if (commandLine.action == CommandLine::Action::Resend) {
    SystemClock clock;
    QTextStream err(stderr);
    return resendDocument(AppFolder(appDir), ResendOrder{commandLine.serie, commandLine.numero, commandLine.to}, clock,
                          out(), err);
  }
  if (isLedgerCommand(commandLine.action)) return ledgerCommand(commandLine, AppFolder(appDir));
  return runWithApplication(commandLine, appDir, windowed, LifeParts{nullptr, mirror.get()});
}

}  // namespace

int runCorvex(int argc, char** argv) {
  const int status = runCommand(argc, argv);
  // What is still buffered must reach its reader before the process ends,
  // which on Windows skips the destruction of static objects.
  out().flush();
  return status;
}

}  // namespace corvex
