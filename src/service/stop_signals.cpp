#include "service/stop_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <atomic>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>
#include <csignal>
#endif

#ifdef Q_OS_WIN
#include <QGuiApplication>
#include <QSessionManager>

#include <windows.h>
#endif

namespace corvex {

namespace {

// Set by the handlers, read by the run between documents; lock-free, so a
// signal handler may write it.
std::atomic<bool> g_stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// Set while Windows asks whether the session may end, so that no new send
// starts; cleared when the end is called off. Only Windows sets it.
std::atomic<bool> g_sessionEnding{false};

}  // namespace

bool stopRequested() { return g_stopRequested.load() || g_sessionEnding.load(); }

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

void quitWhenIdle() {
  if (QCoreApplication* app = QCoreApplication::instance())
    QMetaObject::invokeMethod(
        app, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
}

// Windows ends the process as soon as this or the window procedure below
// returns for a close, log-off or shut-down, so for those they never return:
// the process ends when main() returns after the document in hand, or when
// Windows' own grace period runs out.
[[noreturn]] void waitForTheEnd() {
  for (;;) ::Sleep(INFINITE);
}

// Runs on a thread of its own. A process that has loaded the GUI libraries
// (every Qt program) hears only Ctrl+C, Ctrl+Break and a console close here.
BOOL WINAPI noteConsoleStop(DWORD event) {
  g_stopRequested.store(true);
  quitWhenIdle();
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) waitForTheEnd();
  return TRUE;
}

LRESULT CALLBACK noteSessionEnd(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_QUERYENDSESSION) {
    g_sessionEnding.store(true);
    return TRUE;
  }
  if (message == WM_ENDSESSION && !wParam) g_sessionEnding.store(false);
  if (message == WM_ENDSESSION && wParam) {
    g_stopRequested.store(true);
    quitWhenIdle();
    waitForTheEnd();
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

// Log-off and shut-down reach such a process only as messages to its
// top-level windows. A hidden one on a thread of its own hears them with or
// without the program's window, and answers at once even while the main
// thread is in the middle of a document, so the next send never starts.
DWORD WINAPI watchSessionEnd(LPVOID) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = noteSessionEnd;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"CorvexSessionEnd";
  if (!::RegisterClassW(&windowClass)) return 1;
  // Top-level, not message-only: only top-level windows are asked.
  if (!::CreateWindowExW(0, windowClass.lpszClassName, L"Corvex", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                         windowClass.hInstance, nullptr))
    return 1;
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
  return 0;
}

}  // namespace

void requestStop() {
  g_stopRequested.store(true);
  quitWhenIdle();
}

void installStopHandlers() {
  ::SetConsoleCtrlHandler(noteConsoleStop, TRUE);
  if (const HANDLE thread = ::CreateThread(nullptr, 0, watchSessionEnd, nullptr, 0, nullptr)) ::CloseHandle(thread);
}

void quitEventLoopOnStop() {
  // Qt's session manager asks the program's window the same question; heard
  // there too, in case the hidden window could not be made.
  if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    QObject::connect(gui, &QGuiApplication::commitDataRequest, [](QSessionManager&) { g_sessionEnding.store(true); });
  if (g_stopRequested.load()) quitWhenIdle();
}

#else

void installStopHandlers() {}
void quitEventLoopOnStop() {}

#endif

}  // namespace corvex
