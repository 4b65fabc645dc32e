#pragma once

#include "base/app_folder.h"
#include "db/connection_string.h"
#include "db/no_answer_error.h"
#include "db/record_set.h"

#include <QString>

#include <memory>

namespace corvex {

class OdbcSession;
class SqliteSession;
class SessionPool;

/// What every connection needs besides its connection string.
struct DbEnvironment {
  /// No limit is no option for an unattended program: a server that stops
  /// answering must end a login or a statement, so "0 seconds" means these.
  /// The driver waits for a statement twice (before and after its cancel),
  /// so a statement ends within about 120 s.
  static constexpr int kLoginTimeout = 60;
  static constexpr int kStatementTimeout = 60;

  DbEnvironment(AppFolder folder, QString odbcDriver) : folder(std::move(folder)), odbcDriver(std::move(odbcDriver)) {}

  AppFolder folder;
  /// The ODBC driver name for SQL Server (see defaultOdbcDriver()).
  QString odbcDriver;
  /// Further "Key=value;..." options for that driver, appended as they stand.
  QString driverOptions;
  /// Upper bounds in seconds, for a login and for one statement.
  int loginTimeout = kLoginTimeout;
  int statementTimeout = kStatementTimeout;
  /// Where closed connections leave their SQL Server sessions for the next
  /// open; without one, every open logs in and every close logs out.
  std::shared_ptr<SessionPool> sessions;
};

/// One database connection, created closed. Errors are raised as Error with
/// the driver's description; number kDatabaseError unless said otherwise.
///
/// On SQL Server, closing (or destroying) an open connection hands its
/// session to the environment's pool and opening takes one from there, so
/// the server sees one login per connection held at the same time. A kept
/// session found broken by the first statement after an open is replaced by
/// a new login once and the statement runs again.
///
/// A login or a statement that the server leaves unanswered (NoAnswerError)
/// marks the pool (see SessionPool::markUnanswered()): from then on every
/// login and statement of every connection with that pool raises at once,
/// so that a server that stopped answering costs one time-out, not one per
/// step; the timed-out session is logged out.
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
  /// Seconds; 0 (or anything above the environment's bound) means the bound.
  void setCommandTimeout(int seconds) { m_commandTimeout = seconds; }
  /// Seconds; 0 (or anything above the environment's bound) means the bound.
  void setConnectionTimeout(int seconds) { m_connectionTimeout = seconds; }

  /// Opens the database the string names. A SQLite file is never created:
  /// a missing one fails like an unreachable server.
  void open(const ConnectionString& connectionString);
  void open(const QString& connectionString) { open(ConnectionString(connectionString)); }
  bool isOpen() const;
  /// Runs one plain-text statement. A statement that returns rows gives them
  /// all, read up front; any other gives an empty record set. On SQLite,
  /// "EXEC name @P = v, ..." runs the body stored for `name` in `procedures`.
  /// Raises 3704 when the connection is not open, naming the error of a
  /// failed open.
  std::unique_ptr<RecordSet> execute(const QString& statement);
  /// Runs one UPDATE, INSERT or DELETE and returns the rows the statement
  /// itself changed; rows that its triggers change are not counted. On SQL
  /// Server the count comes from @@ROWCOUNT in the same batch, since the
  /// driver reports the count of a trigger's last statement instead. Raises
  /// as execute() does.
  qint64 executeUpdate(const QString& statement);
  void close();
  /// Closes the connection without keeping its SQL Server session for the
  /// next open: the session is logged out, and whatever it holds (a lock)
  /// goes with it. Never raises.
  void discardSession();

 private:
  void openSession(const ConnectionString& connectionString);
  std::unique_ptr<OdbcSession> logIn(const QString& connectString) const;
  std::unique_ptr<RecordSet> executeOnSession(const QString& statement);
  void requireAnsweringServer() const;
  void release();

  DbEnvironment m_environment;
  int m_cursorLocation = kClientSideCursors;
  int m_commandTimeout = 30;
  int m_connectionTimeout = 15;
  std::unique_ptr<SqliteSession> m_sqlite;
  std::unique_ptr<OdbcSession> m_odbc;
  /// The description of the last open's error; empty after a good open.
  QString m_openFailure;
  /// The session came from the pool and has run nothing since this open.
  bool m_untriedKeptSession = false;
};

}  // namespace corvex
