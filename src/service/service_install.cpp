#include "service/service_install.h"

#include "service/service_account.h"
#include "service/service_name.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QThread>

#include <memory>
#include <type_traits>
#include <vector>

#include <windows.h>
// After windows.h, whose types it uses.
#include <ntsecapi.h>

namespace corvex {

namespace {

// Long enough for the document in hand, its mail included, to finish;
// the machine's shut-down waits as long for it (pre-shutdown).
constexpr int kStopWaitMs = 180000;
// A failed service is started again after a minute, and the count of
// failures is forgotten after a day without one.
constexpr DWORD kRestartDelayMs = 60000;
constexpr DWORD kFailureResetSeconds = 86400;
// What a typed password may hold at most.
constexpr DWORD kPasswordChars = 256;

struct ScHandleCloser {
  void operator()(SC_HANDLE handle) const { ::CloseServiceHandle(handle); }
};
using ScHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ScHandleCloser>;

QString systemReason(DWORD code) { return qt_error_string(int(code)).trimmed(); }

const wchar_t* wide(const QString& text) { return reinterpret_cast<const wchar_t*>(text.utf16()); }

// One argument as Windows splits a command line: in quotes, a backslash
// before the closing quote doubled so that it does not escape it ("C:\").
QString quoted(const QString& argument) {
  QString text = argument;
  if (text.endsWith(QLatin1Char('\\'))) text += QLatin1Char('\\');
  return QLatin1Char('"') + text + QLatin1Char('"');
}

QString serviceCommandLine(const AppFolder& folder) {
  const QString program = QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
  const QString appDir = QDir::toNativeSeparators(QDir(folder.path(QString())).absolutePath());
  return quoted(program) + QStringLiteral(" service run --app-dir ") + quoted(appDir);
}

// The failure actions apply to a service that ended with a non-zero exit
// code too, not only to one that crashed: a run that failed ends the
// process (--exit-on-error) so that a fresh one starts.
void setRecovery(SC_HANDLE service) {
  SC_ACTION restart{SC_ACTION_RESTART, kRestartDelayMs};
  SERVICE_FAILURE_ACTIONSW actions{};
  actions.dwResetPeriod = kFailureResetSeconds;
  actions.cActions = 1;
  actions.lpsaActions = &restart;
  ::ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &actions);
  SERVICE_FAILURE_ACTIONS_FLAG onExitCode{TRUE};
  ::ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &onExitCode);
}

// What the package sets too: started after the boot's other automatic
// services (a SQL Server on the same machine), its own SID in its token
// whatever the account (the folder's access list names it), and a share of
// the machine's shut-down for the document in hand.
void setStartAndStop(SC_HANDLE service) {
  SERVICE_DELAYED_AUTO_START_INFO delayed{TRUE};
  ::ChangeServiceConfig2W(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &delayed);
  SERVICE_SID_INFO sid{SERVICE_SID_TYPE_UNRESTRICTED};
  ::ChangeServiceConfig2W(service, SERVICE_CONFIG_SERVICE_SID_INFO, &sid);
  SERVICE_PRESHUTDOWN_INFO preshutdown{DWORD(kStopWaitMs)};
  ::ChangeServiceConfig2W(service, SERVICE_CONFIG_PRESHUTDOWN_INFO, &preshutdown);
  const QString text = QStringLiteral("Mails the accepted tax documents (DTE) to their buyers.");
  SERVICE_DESCRIPTIONW description{const_cast<wchar_t*>(wide(text))};
  ::ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &description);
}

// A named account may start a service only with the right to log on as one,
// which the services console grants by itself; so does this. Returns the
// system's error code.
DWORD grantServiceLogon(const QString& account) {
  DWORD sidSize = 0;
  DWORD domainSize = 0;
  SID_NAME_USE use;
  ::LookupAccountNameW(nullptr, wide(account), nullptr, &sidSize, nullptr, &domainSize, &use);
  std::vector<BYTE> sid(sidSize);
  std::vector<wchar_t> domain(domainSize);
  if (!::LookupAccountNameW(nullptr, wide(account), sid.data(), &sidSize, domain.data(), &domainSize, &use))
    return ::GetLastError();
  LSA_OBJECT_ATTRIBUTES attributes{};
  LSA_HANDLE policy = nullptr;
  NTSTATUS status = ::LsaOpenPolicy(nullptr, &attributes, POLICY_LOOKUP_NAMES | POLICY_CREATE_ACCOUNT, &policy);
  if (status == 0) {
    wchar_t right[] = L"SeServiceLogonRight";
    LSA_UNICODE_STRING rights{USHORT(sizeof(right) - sizeof(wchar_t)), USHORT(sizeof(right)), right};
    status = ::LsaAddAccountRights(policy, sid.data(), &rights, 1);
    ::LsaClose(policy);
  }
  return ::LsaNtStatusToWinError(status);
}

// A typed password is not shown; a piped one is the first line of input.
QString readPassword(const QString& account, QTextStream& err) {
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  const bool console = ::GetConsoleMode(input, &mode);
  if (console) {
    err << "Password of " << account << ": " << Qt::flush;
    ::SetConsoleMode(input, mode & ~DWORD(ENABLE_ECHO_INPUT));
  }
  std::vector<wchar_t> typed(kPasswordChars + 2);
  DWORD read = 0;
  QString password;
  if (console && ::ReadConsoleW(input, typed.data(), kPasswordChars + 1, &read, nullptr))
    password = QString::fromWCharArray(typed.data(), int(read));
  else if (!console)
    password = QTextStream(stdin).readLine();
  if (console) {
    ::SetConsoleMode(input, mode);
    err << Qt::endl;
  }
  ::SecureZeroMemory(typed.data(), typed.size() * sizeof(wchar_t));
  while (password.endsWith(QLatin1Char('\n')) || password.endsWith(QLatin1Char('\r'))) password.chop(1);
  return password;
}

ScHandle openManager(DWORD access, QTextStream& err) {
  ScHandle manager(::OpenSCManagerW(nullptr, nullptr, access));
  if (!manager)
    err << "corvex: the Service Control Manager cannot be opened (run as administrator): "
        << systemReason(::GetLastError()) << Qt::endl;
  return manager;
}

// Asks a running service to stop and waits, bounded, until it has.
bool stopService(SC_HANDLE service) {
  SERVICE_STATUS status{};
  if (!::ControlService(service, SERVICE_CONTROL_STOP, &status) && ::GetLastError() != ERROR_SERVICE_NOT_ACTIVE)
    return false;
  const QDeadlineTimer deadline(kStopWaitMs);
  while (::QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED) {
    if (deadline.hasExpired()) return false;
    QThread::msleep(250);
  }
  return true;
}

}  // namespace

int installService(const QString& accountName, const AppFolder& folder, QTextStream& out, QTextStream& err) {
  const QString account = accountName.isEmpty() ? kDefaultServiceAccount : accountName;
  const QString password = accountNeedsPassword(account) ? readPassword(account, err) : QString();
  if (accountNeedsPassword(account) && password.isEmpty()) {
    err << "corvex: " << account << " needs its password, typed when asked or on standard input" << Qt::endl;
    return 1;
  }
  const ScHandle manager = openManager(SC_MANAGER_CREATE_SERVICE, err);
  if (!manager) return 1;
  const QString command = serviceCommandLine(folder);
  const ScHandle service(::CreateServiceW(manager.get(), kServiceName, kServiceName,
                                          SERVICE_CHANGE_CONFIG | SERVICE_START, SERVICE_WIN32_OWN_PROCESS,
                                          SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, wide(command), nullptr, nullptr,
                                          nullptr, wide(account), password.isEmpty() ? nullptr : wide(password)));
  if (!service) {
    err << "corvex: the service cannot be installed: " << systemReason(::GetLastError()) << Qt::endl;
    return 1;
  }
  setRecovery(service.get());
  setStartAndStop(service.get());
  if (accountNeedsPassword(account)) {
    if (const DWORD code = grantServiceLogon(account); code != ERROR_SUCCESS)
      err << "corvex: " << account << " may not log on as a service yet (" << systemReason(code)
          << "); grant it that right before the service starts" << Qt::endl;
  }
  out << "Service Corvex installed, started at boot under " << account << ": " << command
      << "\nIt writes into its Application folder; let it, for example with:\n  icacls \""
      << QDir::toNativeSeparators(QDir(folder.path(QString())).absolutePath()) << "\" /grant \"" << account
      << ":(OI)(CI)M\"\nThen start it with: sc start Corvex" << Qt::endl;
  return 0;
}

int uninstallService(QTextStream& out, QTextStream& err) {
  const ScHandle manager = openManager(SC_MANAGER_CONNECT, err);
  if (!manager) return 1;
  const ScHandle service(::OpenServiceW(manager.get(), kServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
  if (!service) {
    err << "corvex: the service cannot be opened: " << systemReason(::GetLastError()) << Qt::endl;
    return 1;
  }
  if (!stopService(service.get()))
    err << "corvex: the service has not stopped yet; it is removed once it has" << Qt::endl;
  if (!::DeleteService(service.get())) {
    err << "corvex: the service cannot be removed: " << systemReason(::GetLastError()) << Qt::endl;
    return 1;
  }
  out << "Service Corvex removed." << Qt::endl;
  return 0;
}

}  // namespace corvex
