#pragma once

#include "base/stop_check.h"

#include <QDateTime>
#include <QLockFile>
#include <QString>

#include <memory>

namespace corvex {

/// The refresh token of a refresh-token grant, kept across runs and
/// restarts. An endpoint that rotates refresh tokens (Microsoft's) answers
/// each use with a new one, and the one configured in main.ini expires 90
/// days after it was issued: the new one is kept in a file of its own
/// (`oauth-refresh-token.json` in the Application folder), readable by the
/// program's account alone, and used in place of the configured one for as
/// long as the configured one is unchanged. The file names the configured
/// one by its SHA-256, never by its value; a new configured one (a new
/// consent) wins over what the file keeps.
///
/// The running program and `corvex check` share the file: lock() holds a
/// lock file beside it while one grant runs, so that two never spend the
/// same refresh token. Each change replaces the file whole (see
/// writeFileReplacing()).
class RefreshTokenStore {
 public:
  static constexpr char kFileName[] = "oauth-refresh-token.json";

  /// `path` is the file; `configured` main.ini's RefreshToken.
  RefreshTokenStore(QString path, QString configured);

  /// The refresh token to use. `since` is when the kept one was kept; it is
  /// not valid when the configured one is in use.
  struct InUse {
    QString token;
    QDateTime since;
  };
  /// What the file keeps for the configured one, or the configured one.
  InUse current() const;

  /// Keeps `token`, answered by the endpoint at `now`, durably and readable
  /// by the owner alone. Raises FileError.
  void keep(const QString& token, const QDateTime& now);

  /// The lock that one grant holds from reading the refresh token to keeping
  /// the new one; null when `stop` said so or another holder kept it for
  /// longer than a grant may take.
  std::unique_ptr<QLockFile> lock(const StopCheck& stop) const;

 private:
  QString m_path;
  QString m_configured;
};

}  // namespace corvex
