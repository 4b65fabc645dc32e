#pragma once

#include "base/app_folder.h"
#include "base/file_system.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace corvex {

/// Why no mail goes out for a while, across runs and restarts.
struct SendingWait {
  enum class Kind {
    Login,     ///< the server or the token endpoint refused the login
    Throttle,  ///< the service asked to be left alone for longer than a run may wait
  };
  Kind kind = Kind::Login;
  /// The reply that started it, as the log shows it; never a secret.
  QString reason;
  /// The first refusal in a row (the pause's start for Throttle).
  QDateTime since;
  /// No login, and no mail, before this time.
  QDateTime until;
  /// Refused logins in a row; each doubles the wait.
  int refusals = 0;
};

/// The wait after a refused login, kept in the file `login-wait.json` of the
/// Application folder so that a restarted program or service keeps it: a
/// wrong password must not be tried every few seconds until the provider
/// locks the mailbox. After the first refusal no login is tried for 5
/// minutes, and each further refusal doubles the wait, up to an hour: a
/// domain's usual lockout (5 failures in 15 minutes) never trips, and a
/// wrong password costs at most 4 refusals in the first hour.
///
/// The file names the login settings it holds for by a keyed fingerprint
/// (HMAC-SHA-256 under a random key kept with it), never by their values: a
/// change of any of them ends the wait. Since the key lies beside it, the
/// file is readable by the program's account alone. A service that asks to wait
/// (Retry-After) pauses sending the same way, until the time it named.
///
/// Each change replaces the file whole (see writeFileReplacing()), so a
/// reader beside the running program (`corvex check`, `corvex status`) sees
/// the old state or the new one, never half of one. A file that cannot be
/// read counts as no wait; one that cannot be written raises FileError.
class LoginWait {
 public:
  static constexpr char kFileName[] = "login-wait.json";
  static constexpr qint64 kFirstWaitSeconds = 5 * 60;
  static constexpr qint64 kLongestWaitSeconds = 60 * 60;

  /// `files` must outlive this object.
  LoginWait(const AppFolder& folder, FileSystem& files);

  /// The wait in force at `now` for the login `settings` (every value that
  /// decides whether a login succeeds, as one text: see
  /// loginSettingsText()); none when the file holds none, it has passed, or
  /// it was kept for other settings.
  std::optional<SendingWait> current(const QByteArray& settings, const QDateTime& now) const;

  /// Records a login refused at `now` with `reason`, and returns the wait
  /// that starts: 5 minutes after the first refusal for these settings, then
  /// twice the last wait, at most an hour.
  SendingWait refused(const QByteArray& settings, const QString& reason, const QDateTime& now);

  /// Records that the service asked, at `now`, to be left alone until
  /// `until`; refusals counted so far are kept.
  SendingWait paused(const QByteArray& settings, const QString& reason, const QDateTime& now, const QDateTime& until);

  /// A login succeeded: no wait holds any more.
  void ended();

  /// Whether the file keeps a wait (in force or past) for `settings`.
  bool keptFor(const QByteArray& settings) const;

  /// How long the wait after `refusals` refused logins in a row lasts.
  static qint64 waitSeconds(int refusals);

 private:
  struct Stored;
  std::optional<Stored> load() const;
  SendingWait store(const QByteArray& settings, SendingWait wait);

  QString m_path;
  FileSystem& m_files;
};

/// The wait `folder` records, whatever settings it holds for, as `corvex
/// status` shows it beside a running program; none when there is none or it
/// cannot be read. Takes no lock and writes nothing.
std::optional<SendingWait> readSendingWait(const AppFolder& folder);

}  // namespace corvex
