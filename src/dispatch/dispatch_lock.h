#pragma once

#include "db/database.h"
#include "log/daily_log.h"

namespace corvex {

/// One dispatcher per database, across machines: a second installation
/// forgotten on another PC must not mail every buyer twice. On SQL Server a
/// run holds the exclusive application lock "Corvex dispatch" on its own
/// session (DbConnection2) from its start to its end; the server drops it
/// with the session, so a crashed dispatcher never leaves it behind. SQLite
/// has no such lock and needs none: only this machine reaches its file, and
/// the Application folder's lock keeps it to one program.
///
/// "*database" and "*log" must outlive this object.
class DispatchLock {
 public:
  DispatchLock(Database& database, const DailyLog& log);

  /// Takes the lock on DbConnection2 without waiting. True when it is held
  /// (always on SQLite). False when another session holds it: the first
  /// refusal in a row is logged, later ones are not. Raises the database's
  /// errors.
  bool acquire();
  /// Gives the lock back while DbConnection2 is still open; nothing on
  /// SQLite. Raises the database's errors, after logging the session out
  /// (Connection::discardSession()) so that it never serves another run.
  void release();
  /// release() for the error path: a failure is dropped, since the session's
  /// end frees the lock anyway. Never raises.
  void releaseQuietly() noexcept;

 private:
  Database& m_database;
  const DailyLog& m_log;
  bool m_onSqlServer;
  bool m_held = false;
  bool m_refusalLogged = false;
};

}  // namespace corvex
