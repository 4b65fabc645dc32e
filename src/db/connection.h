#pragma once

#include "base/app_folder.h"
#include "db/record_set.h"

#include <QString>

#include <memory>

namespace corvex {

/// What every connection needs besides its connection string.
struct DbEnvironment {
  AppFolder folder;
  /// The ODBC driver name for SQL Server (see defaultOdbcDriver()).
  QString odbcDriver;
};

/// One database connection, created closed. Errors are raised as Error with
/// the driver's description; number kDatabaseError unless said otherwise.
class Connection {
 public:
  static constexpr int kServerSideCursors = 2;
  static constexpr int kClientSideCursors = 3;

  explicit Connection(DbEnvironment environment);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  void setCursorLocation(int location) { m_cursorLocation = location; }
  int cursorLocation() const { return m_cursorLocation; }
  /// Seconds; 0 means no limit.
  void setCommandTimeout(int seconds) { m_commandTimeout = seconds; }
  /// Seconds; 0 means no limit.
  void setConnectionTimeout(int seconds) { m_connectionTimeout = seconds; }

  /// Opens the database the string names. A SQLite file is never created:
  /// a missing one fails like an unreachable server.
  void open(const QString& connectionString);
  bool isOpen() const;
  /// Runs one plain-text statement. A statement that returns rows gives them
  /// all, read up front; any other gives an empty record set. On SQLite,
  /// "EXEC name @P = v, ..." runs the body stored for `name` in `procedures`.
  /// Raises 3704 when the connection is not open.
  std::unique_ptr<RecordSet> execute(const QString& statement);
  void close();

 private:
  QString m_name;
  DbEnvironment m_environment;
  int m_cursorLocation = kClientSideCursors;
  int m_commandTimeout = 30;
  int m_connectionTimeout = 15;
  bool m_isSqlite = false;
};

}  // namespace corvex
