#include "ops/running_program.h"

#include <QFileInfo>
#include <QLockFile>
#include <QSysInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#endif

namespace corvex {

namespace {

bool isAlive(qint64 pid) {
#ifdef Q_OS_WIN
  const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return ::GetLastError() == ERROR_ACCESS_DENIED;
  DWORD code = 0;
  const bool running = ::GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  ::CloseHandle(process);
  return running;
#else
  // EPERM: it runs, under another user.
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
#endif
}

}  // namespace

std::optional<RunningProgram> runningProgram(const AppFolder& folder) {
  // The lock's file names its holder; reading it takes no lock.
  const QString path = folder.path(QStringLiteral("corvex.lock"));
  const QLockFile lock(path);
  qint64 pid = 0;
  QString host;
  QString application;
  if (!lock.getLockInfo(&pid, &host, &application) || pid <= 0) return std::nullopt;
  const bool elsewhere = !host.isEmpty() && host != QSysInfo::machineHostName();
  if (!elsewhere && !isAlive(pid)) return std::nullopt;
  return RunningProgram{pid, QFileInfo(path).lastModified()};
}

}  // namespace corvex
