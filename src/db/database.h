#pragma once

#include "db/connection.h"
#include "log/daily_log.h"

#include <QString>

#include <memory>

namespace corvex {

/// The two connection slots of the process and the procedures that fill and
/// empty them. `DbConnection` serves short units of work that open, use and
/// close it (logo, each parameter lookup, each rendering); `DbConnection2`
/// belongs to the dispatch run, whose record set outlives those units.
///
/// The procedures never raise: a failing step is logged with the procedure's
/// name and the next step runs. "*log" must outlive this object.
///
/// Both slots, and every connection opened with environment(), share one
/// pool of SQL Server sessions: closing a slot keeps its session for the
/// next open, so the server sees at most two logins however many units of
/// work and runs there are.
class Database {
 public:
  /// Reads `connectionString` once; an environment without a session pool
  /// is given one.
  Database(const QString& connectionString, DbEnvironment environment, const DailyLog& log);

  void OpenConnection(const QString& cursorMode, int timeout);
  void CloseConnection();
  void OpenConnection2(const QString& cursorMode, int timeout);
  void CloseConnection2();

  /// The connection in a slot. Raises 91 when the slot is empty.
  Connection& DbConnection();
  Connection& DbConnection2();
  bool hasDbConnection() const { return m_slot1 != nullptr; }
  bool hasDbConnection2() const { return m_slot2 != nullptr; }

  const QString& connectionString() const { return m_connectionString.text(); }
  /// True when the database is SQL Server (reached through ODBC), false for a
  /// SQLite file.
  bool isSqlServer() const { return !m_connectionString.isSqlite(); }
  const DbEnvironment& environment() const { return m_environment; }
  /// A dispatch run begins: a server that did not answer the previous one
  /// is tried again (see SessionPool::clearUnanswered()).
  void beginRun();

 private:
  void open(std::unique_ptr<Connection>& slot, const QString& procedure, const QString& cursorMode, int timeout);
  void close(std::unique_ptr<Connection>& slot, const QString& procedure);

  ConnectionString m_connectionString;
  DbEnvironment m_environment;
  const DailyLog& m_log;
  std::unique_ptr<Connection> m_slot1;
  std::unique_ptr<Connection> m_slot2;
};

}  // namespace corvex
