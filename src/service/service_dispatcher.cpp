#include "service/service_dispatcher.h"

#include "log/daily_log.h"
#include "service/process_exit.h"
#include "service/service_name.h"
#include "service/stop_signals.h"

#include <mutex>
#include <thread>

#include <windows.h>

namespace corvex {

namespace {

// While Corvex stops, the manager hears from it this often, with a new
// checkpoint each time, and would call it hung only after the hint passed
// without one. The document in hand may take its longest mail to finish:
// a pre-shutdown waits for it up to the time-out the package sets (180 s).
constexpr DWORD kStopWaitHintMs = 10000;
constexpr DWORD kCheckpointEveryMs = 3000;

// The dispatcher's thread and the main thread share these: the manager
// calls the handler on the former, the program ends on the latter.
std::mutex g_statusLock;
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
SERVICE_STATUS g_status{};
HANDLE g_registered = nullptr;
HANDLE g_stopping = nullptr;
HANDLE g_finished = nullptr;

// A non-zero status reaches the manager as the service's own exit code.
// Once stopped, the service says nothing more: a checkpoint that comes late
// must not bring it back to "stopping".
void report(DWORD state, int exitStatus = 0) {
  const std::lock_guard<std::mutex> lock(g_statusLock);
  if (g_status.dwCurrentState == SERVICE_STOPPED) return;
  g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  g_status.dwCurrentState = state;
  g_status.dwControlsAccepted =
      state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PRESHUTDOWN : 0;
  g_status.dwWin32ExitCode = exitStatus == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
  g_status.dwServiceSpecificExitCode = DWORD(exitStatus);
  g_status.dwWaitHint = state == SERVICE_STOP_PENDING ? kStopWaitHintMs : 0;
  g_status.dwCheckPoint = state == SERVICE_STOP_PENDING ? g_status.dwCheckPoint + 1 : 0;
  ::SetServiceStatus(g_statusHandle, &g_status);
}

// A stop, the machine's pre-shutdown and its shut-down all end Corvex the
// same way: nothing new starts, the document in hand is finished.
DWORD WINAPI onControl(DWORD control, DWORD, LPVOID, LPVOID) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_PRESHUTDOWN:
    case SERVICE_CONTROL_SHUTDOWN:
      report(SERVICE_STOP_PENDING);
      requestStop();
      ::SetEvent(g_stopping);
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

// Advances the checkpoint until the program has ended.
void reportStopping() {
  while (::WaitForSingleObject(g_finished, kCheckpointEveryMs) == WAIT_TIMEOUT) report(SERVICE_STOP_PENDING);
}

// Runs on the dispatcher's thread until the program has ended, so that the
// dispatcher keeps delivering the manager's requests meanwhile. The
// service counts as running at once: start-up may wait on the database
// longer than the manager waits for a start.
void WINAPI serviceMain(DWORD, LPWSTR*) {
  g_statusHandle = ::RegisterServiceCtrlHandlerExW(kServiceName, onControl, nullptr);
  if (g_statusHandle) report(SERVICE_RUNNING);
  ::SetEvent(g_registered);
  if (!g_statusHandle) return;
  const HANDLE either[] = {g_finished, g_stopping};
  if (::WaitForMultipleObjects(2, either, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) reportStopping();
}

// Sets `failure` to the system's reason when this process was not started by
// the manager.
void dispatch(DWORD* failure) {
  SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(kServiceName), serviceMain}, {nullptr, nullptr}};
  if (!::StartServiceCtrlDispatcherW(table)) {
    *failure = ::GetLastError();
    ::SetEvent(g_registered);
  }
}

}  // namespace

// The dispatcher gets a thread of its own: Qt's application and its event
// loop belong to the main thread.
int runAsService(const DailyLog& log, const std::function<int()>& life, QTextStream& err) {
  g_registered = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  g_stopping = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  g_finished = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD failure = ERROR_SUCCESS;
  std::thread dispatcher(dispatch, &failure);
  ::WaitForSingleObject(g_registered, INFINITE);
  if (!g_statusHandle) {
    dispatcher.join();
    err << "corvex: service run is what the Service Control Manager starts (" << qt_error_string(int(failure)).trimmed()
        << "); install the service with: corvex service install" << Qt::endl;
    return 1;
  }
  log.WriteLog(QStringLiteral("Service=> Started"));
  const int status = life();
  log.WriteLog(QStringLiteral("Service=> Stopped, exit code %1").arg(status));
  report(SERVICE_STOPPED, status);
  ::SetEvent(g_finished);
  dispatcher.join();
  // An upgrade or an uninstall replaces or removes corvex.exe as soon as the
  // manager says "stopped": the process ends with that report, not after
  // Qt's clean-up, or the file would still be in use.
  endProcess(status);
}

}  // namespace corvex
