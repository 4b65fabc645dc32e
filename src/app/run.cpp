#include "app/run.h"

#include "app/application.h"
#include "app/command_line.h"
#include "app/headless_display.h"
#include "app/main_window.h"
#include "app/poll_loop.h"
#include "app/quit_signals.h"
#include "app/setup_check.h"
#include "app/test_mail.h"
#include "app/toolkit_messages.h"
#include "base/error.h"
#include "demo/demo_report.h"
#include "demo/demo_workspace.h"

#include <QApplication>
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

// Start-up and the logo; an error ends the program, shown in a dialog too
// when there is a window to show it in.
bool startUp(Application& app, bool windowed) {
  // Trapped here, the one place an error may end the program: start-up.
  try {
    app.Main();
    app.Form_Load();
    return true;
  } catch (const Error& error) {
    printError(errorText(error));
    if (windowed) QMessageBox::critical(nullptr, QStringLiteral("Corvex"), errorText(error));
    return false;
  }
}

// The product's life: "Main", then a run every tick until the window closes,
// a termination signal arrives, or (--once) after one run.
int poll(Application& app, const CommandLine& commandLine, bool windowed) {
  HeadlessDisplay headless;
  std::unique_ptr<fMain> window = windowed ? std::make_unique<fMain>(app.logo()) : nullptr;
  StatusDisplay& display = window ? static_cast<StatusDisplay&>(*window) : headless;
  DispatchRun run = app.dispatchRun(display);
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
    return loop.Contador_Timer() ? 0 : kRunFailed;
  }
  loop.start();
  if (window) window->showCentred();
  quitOnTerminationSignals();
  return QCoreApplication::exec();
}

int render(Application& app, const CommandLine& commandLine) {
  // Trapped here: the operator asked for this one document.
  try {
    DocumentRenderer& renderer = app.renderer();
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

int runWithApplication(const CommandLine& commandLine, const QString& appDir, bool windowed) {
  SystemClock clock;
  RealFileSystem files;
  Application app(AppFolder(appDir), clock, files);
  if (!startUp(app, windowed)) return kStartupFailed;
  if (commandLine.action == CommandLine::Action::Render) return render(app, commandLine);
  if (commandLine.action == CommandLine::Action::TestMail) {
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

}  // namespace

int runCorvex(int argc, char** argv) {
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  const CommandLine commandLine = parseCommandLine(arguments);
  const bool windowed = commandLine.action == CommandLine::Action::Run && !commandLine.headless && displayAvailable();
  // Without a window the offscreen platform still gives fonts, images and PDF.
  if (!windowed && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  dropToolkitNoise();
  QApplication qtApp(argc, argv);
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
      break;
  }
  const QString appDir = commandLine.appDir.isEmpty() ? QCoreApplication::applicationDirPath() : commandLine.appDir;
  // The check runs without start-up: it must also explain a set-up that
  // start-up would refuse.
  if (commandLine.action == CommandLine::Action::Check) return checkSetup(AppFolder(appDir), out()) ? 0 : kRunFailed;
  return runWithApplication(commandLine, appDir, windowed);
}

}  // namespace corvex
