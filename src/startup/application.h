#pragma once

#include "base/app_folder.h"
#include "base/clock.h"
#include "base/file_system.h"
#include "base/settings.h"
#include "base/status_display.h"
#include "base/stop_check.h"
#include "db/database.h"
#include "dispatch/dispatch_run.h"
#include "log/daily_log.h"
#include "mail/mailer.h"
#include "render/document_renderer.h"

#include <QImage>

#include <functional>
#include <memory>

namespace corvex {

/// The process-wide objects, created once at start-up and handed to those
/// who need them. "clock" and "files" (through which every file a mail
/// depends on is written) must outlive the application; `stop` is asked by
/// every wait in the mail path (see MailerOptions).
class Application {
 public:
  /// `stop` is asked by every wait in the mail path; "*mirror", when given,
  /// mirrors the daily log's lines that an administrator must see into the
  /// system's event log.
  Application(AppFolder folder, const Clock& clock, FileSystem& files, StopCheck stop = {},
              LogMirror* mirror = nullptr);

  /// Start-up: reads main.ini, builds the connection string and fills the
  /// Settings from the database, then creates the mailer and the renderer.
  /// Logs nothing itself; raises every error of its steps, which ends
  /// start-up.
  void Main();
  /// Reads the company logo once (see loadLogo); raises its errors, which
  /// end start-up like any other.
  void Form_Load();

  const AppFolder& folder() const { return m_folder; }
  const StopCheck& stopCheck() const { return m_stop; }
  const DailyLog& log() const { return m_log; }
  /// Filled by Main(), read-only afterwards.
  const Settings& settings() const { return m_settings; }
  /// Exists once Main() has built the connection string.
  Database& database() { return *m_database; }
  /// The logo for the window and for every PDF; null when there is none.
  const QImage& logo() const { return m_logo; }
  /// Exist once Main() has filled the Settings.
  Mailer& mailer() { return *m_mailer; }
  DocumentRenderer& renderer() { return *m_renderer; }
  /// A dispatch run over this application's parts, writing its captions to
  /// `display`, which must outlive it, and ending before the next document
  /// once `stopRequested` says so.
  DispatchRun dispatchRun(
      StatusDisplay& display, std::function<bool()> stopRequested = [] { return false; });

 private:
  AppFolder m_folder;
  const Clock& m_clock;
  FileSystem& m_files;
  StopCheck m_stop;
  DailyLog m_log;
  Settings m_settings;
  std::unique_ptr<Database> m_database;
  QImage m_logo;
  std::unique_ptr<Mailer> m_mailer;
  std::unique_ptr<DocumentRenderer> m_renderer;
};

}  // namespace corvex
