#include "app/quit_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>
#include <csignal>
#endif

namespace corvex {

#ifdef Q_OS_UNIX

namespace {

// Written by the signal handler, read by the event loop: the self-pipe that
// turns an asynchronous signal into an ordinary event.
int g_signalPipe[2] = {-1, -1};

extern "C" void noteSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[0], &byte, 1);
}

}  // namespace

void quitOnTerminationSignals() {
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) return;
  auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, [] { QCoreApplication::quit(); });
  struct sigaction action {};
  action.sa_handler = noteSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

#else

// Windows ends a console program on Ctrl+C by itself, and a window by closing it.
void quitOnTerminationSignals() {}

#endif

}  // namespace corvex
