#include "app/quit_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <atomic>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>
#include <csignal>
#endif

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace corvex {

namespace {

// Set by the handlers, read by the run between documents; lock-free, so a
// signal handler may write it.
std::atomic<bool> g_stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

}  // namespace

bool stopRequested() { return g_stopRequested.load(); }

#ifdef Q_OS_UNIX

namespace {

// The self-pipe that turns an asynchronous signal into an ordinary event of
// the loop: [0] is written by the handler, [1] watched by the loop.
int g_signalPipe[2] = {-1, -1};

extern "C" void noteStopSignal(int) {
  g_stopRequested.store(true);
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[0], &byte, 1);
}

}  // namespace

void installStopHandlers() {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) return;
  struct sigaction action {};
  action.sa_handler = noteStopSignal;
  sigemptyset(&action.sa_mask);
  // Restarted system calls: a signal in the middle of a mail or a database
  // read must not turn into a failure of that document.
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

void quitEventLoopOnStop() {
  if (g_signalPipe[1] < 0) return;
  // Bytes written before the notifier existed are still in the pipe, so a
  // request during start-up ends the loop as soon as it starts.
  auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, [] { QCoreApplication::quit(); });
}

#elif defined(Q_OS_WIN)

namespace {

// Runs on a thread of its own. Windows ends the process when this returns
// TRUE for a close, log-off or shut-down, so for those it never returns: the
// process ends when main() returns after the document in hand, or when
// Windows' own grace period runs out.
BOOL WINAPI noteConsoleStop(DWORD event) {
  g_stopRequested.store(true);
  if (QCoreApplication* app = QCoreApplication::instance())
    QMetaObject::invokeMethod(
        app, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) ::Sleep(INFINITE);
  return TRUE;
}

}  // namespace

void installStopHandlers() { ::SetConsoleCtrlHandler(noteConsoleStop, TRUE); }

void quitEventLoopOnStop() {
  if (g_stopRequested.load())
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
}

#else

void installStopHandlers() {}
void quitEventLoopOnStop() {}

#endif

}  // namespace corvex
