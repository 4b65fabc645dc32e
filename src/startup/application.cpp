#include "startup/application.h"

#include "startup/configuration.h"
#include "startup/ini_file.h"
#include "startup/logo.h"

namespace corvex {

Application::Application(AppFolder folder, const Clock& clock, FileSystem& files, StopCheck stop, LogMirror* mirror)
    : m_folder(std::move(folder)),
      m_clock(clock),
      m_files(files),
      m_stop(std::move(stop)),
      m_log(m_folder, m_clock, mirror) {}

void Application::Main() {
  m_settings.IniPath = m_folder.path(QStringLiteral("main.ini"));
  const QString server = ReadIniConnectionString(m_settings.IniPath);
  m_settings.ConnectionString = buildConnectionString(server, readDatabaseLogin(m_settings.IniPath));
  m_database =
      std::make_unique<Database>(m_settings.ConnectionString, databaseEnvironment(m_folder, m_settings.IniPath), m_log);
  readParameters(*m_database, m_settings);
  readSmtpLimits(m_settings);
  readOAuthSettings(m_settings);
  readLedgerAndBounceSettings(m_settings);
  m_settings.Source = configuredRenderSource(m_settings.IniPath);
  // main.ini's login keys are read again by every run: a new secret or
  // provider there is tried without a restart.
  m_mailer = std::make_unique<Mailer>(
      m_settings, m_folder, m_log, m_clock,
      MailerOptions{m_stop, [](Settings& settings) { readOAuthSettings(settings); }, &m_files});
  m_renderer = std::make_unique<DocumentRenderer>(*m_database, m_settings, m_folder, m_logo, m_files);
}

void Application::Form_Load() { m_logo = loadLogo(*m_database); }

DispatchRun Application::dispatchRun(StatusDisplay& display, std::function<bool()> stopRequested) {
  return DispatchRun(DispatchParts{*m_database, *m_renderer, *m_mailer, m_settings, m_folder, m_log, m_clock, display,
                                   m_files, std::move(stopRequested)});
}

}  // namespace corvex
