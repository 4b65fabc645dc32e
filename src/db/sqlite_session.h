#pragma once

#include "db/record_set.h"

#include <QString>

#include <memory>

namespace corvex {

/// One open SQLite database file, with stored procedures emulated by the
/// table procedures(name, body).
class SqliteSession {
 public:
  /// Opens the existing file at `path` (never creates one); a locked
  /// database is waited for up to `busyTimeout` seconds. Raises
  /// kDatabaseError.
  SqliteSession(const QString& path, int busyTimeout);
  ~SqliteSession();
  SqliteSession(const SqliteSession&) = delete;
  SqliteSession& operator=(const SqliteSession&) = delete;

  /// Runs one statement; "EXEC name @P = v, ..." runs the body stored for
  /// `name`. Raises kDatabaseError with SQLite's text.
  std::unique_ptr<RecordSet> execute(const QString& statement);
  /// Runs one UPDATE, INSERT or DELETE and returns the rows it changed
  /// itself (SQLite never counts what its triggers change). Raises
  /// kDatabaseError with SQLite's text.
  qint64 executeUpdate(const QString& statement);

 private:
  QString m_name;
};

}  // namespace corvex
