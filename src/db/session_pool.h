#pragma once

#include <QString>

#include <memory>
#include <vector>

namespace corvex {

class OdbcSession;

/// Keeps the physical SQL Server sessions that connections give back, so a
/// program that opens and closes its connections for every unit of work
/// logs in once per connection it holds at the same time, not once per
/// unit. Single-threaded, like every user of the database.
class SessionPool {
 public:
  SessionPool();
  ~SessionPool();
  SessionPool(const SessionPool&) = delete;
  SessionPool& operator=(const SessionPool&) = delete;

  /// An idle session for `connectString`, or nullptr when none is kept.
  std::unique_ptr<OdbcSession> take(const QString& connectString);
  /// Keeps `session` for the next take(); a session the driver found broken
  /// is logged out instead.
  void giveBack(std::unique_ptr<OdbcSession> session);

  /// The server left a login or a statement unanswered: until
  /// clearUnanswered(), no connection with this pool logs in or sends
  /// anything (see Connection).
  void markUnanswered() { m_unanswered = true; }
  bool unanswered() const { return m_unanswered; }
  /// A new unit of work (a dispatch run) tries the server again.
  void clearUnanswered() { m_unanswered = false; }

 private:
  std::vector<std::unique_ptr<OdbcSession>> m_idle;
  bool m_unanswered = false;
};

}  // namespace corvex
