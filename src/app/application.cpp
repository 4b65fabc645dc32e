#include "app/application.h"

#include "app/ini_file.h"
#include "app/logo.h"
#include "app/startup.h"
#include "db/connection_target.h"

namespace corvex {

Application::Application(AppFolder folder, const Clock& clock)
    : m_folder(std::move(folder)), m_clock(clock), m_log(m_folder, m_clock) {}

void Application::Main() {
  m_settings.IniPath = m_folder.path(QStringLiteral("main.ini"));
  const QString server = ReadIniValue(m_settings.IniPath, QStringLiteral("DB"), QStringLiteral("cString"), QString());
  m_settings.ConnectionString = buildConnectionString(server);
  // Not part of the connection string: which ODBC driver reaches SQL Server
  // differs from machine to machine, so main.ini may name it.
  const QString driver = ReadIniValue(m_settings.IniPath, QStringLiteral("DB"), QStringLiteral("Driver"), QString());
  m_database = std::make_unique<Database>(
      m_settings.ConnectionString, DbEnvironment{m_folder, driver.isEmpty() ? defaultOdbcDriver() : driver}, m_log);
  readParameters(*m_database, m_settings);
  m_mailer = std::make_unique<Mailer>(m_settings, m_folder, m_log);
  m_renderer = std::make_unique<DocumentRenderer>(*m_database, m_settings, m_folder, m_logo);
}

void Application::Form_Load() { m_logo = loadLogo(*m_database); }

DispatchRun Application::dispatchRun(StatusDisplay& display, std::function<bool()> stopRequested) {
  return DispatchRun(DispatchParts{*m_database, *m_renderer, *m_mailer, m_settings, m_folder, m_log, m_clock, display,
                                   std::move(stopRequested)});
}

}  // namespace corvex
