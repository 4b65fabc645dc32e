#include "app/application.h"

#include "app/ini_file.h"
#include "app/logo.h"
#include "app/startup.h"
#include "db/connection_string.h"

#include <algorithm>

namespace corvex {

namespace {

// A time-out from main.ini may shorten the default, never lift it: an
// unattended program must not wait on a silent server for ever.
int timeoutSeconds(const QString& text, int bound) {
  bool ok = false;
  const int seconds = text.trimmed().toInt(&ok);
  return ok && seconds > 0 ? std::min(seconds, bound) : bound;
}

}  // namespace

Application::Application(AppFolder folder, const Clock& clock)
    : m_folder(std::move(folder)), m_clock(clock), m_log(m_folder, m_clock) {}

void Application::Main() {
  m_settings.IniPath = m_folder.path(QStringLiteral("main.ini"));
  const QString server = ReadIniValue(m_settings.IniPath, QStringLiteral("DB"), QStringLiteral("cString"), QString());
  m_settings.ConnectionString = buildConnectionString(server);
  m_database = std::make_unique<Database>(m_settings.ConnectionString, databaseEnvironment(), m_log);
  readParameters(*m_database, m_settings);
  m_mailer = std::make_unique<Mailer>(m_settings, m_folder, m_log);
  m_renderer = std::make_unique<DocumentRenderer>(*m_database, m_settings, m_folder, m_logo);
}

// Not part of the connection string: which ODBC driver reaches SQL Server and
// its options differ from machine to machine, so main.ini may name them.
DbEnvironment Application::databaseEnvironment() const {
  const auto dbValue = [this](const char* key) {
    return ReadIniValue(m_settings.IniPath, QStringLiteral("DB"), QString::fromLatin1(key), QString());
  };
  const QString driver = dbValue("Driver");
  DbEnvironment environment(m_folder, driver.isEmpty() ? defaultOdbcDriver() : driver);
  environment.driverOptions = dbValue("DriverOptions");
  environment.loginTimeout = timeoutSeconds(dbValue("LoginTimeout"), DbEnvironment::kLoginTimeout);
  environment.statementTimeout = timeoutSeconds(dbValue("StatementTimeout"), DbEnvironment::kStatementTimeout);
  return environment;
}

void Application::Form_Load() { m_logo = loadLogo(*m_database); }

DispatchRun Application::dispatchRun(StatusDisplay& display) {
  return DispatchRun(DispatchParts{*m_database, *m_renderer, *m_mailer, m_settings, m_folder, m_log, m_clock, display});
}

}  // namespace corvex
