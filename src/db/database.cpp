#include "db/database.h"

#include "base/error.h"
#include "db/session_pool.h"

namespace corvex {

namespace {

const QString kSeparator = QStringLiteral("=> ");

Error objectNotSet() { return Error(kObjectNotSet, QStringLiteral("Object variable or With block variable not set")); }

}  // namespace

Database::Database(const QString& connectionString, DbEnvironment environment, const DailyLog& log)
    : m_connectionString(connectionString), m_environment(std::move(environment)), m_log(log) {
  if (!m_environment.sessions) m_environment.sessions = std::make_shared<SessionPool>();
}

void Database::OpenConnection(const QString& cursorMode, int timeout) {
  open(m_slot1, QStringLiteral("OpenConnection"), cursorMode, timeout);
}

void Database::CloseConnection() { close(m_slot1, QStringLiteral("CloseConnection")); }

void Database::OpenConnection2(const QString& cursorMode, int timeout) {
  open(m_slot2, QStringLiteral("OpenConnection2"), cursorMode, timeout);
}

void Database::CloseConnection2() { close(m_slot2, QStringLiteral("CloseConnection2")); }

void Database::beginRun() { m_environment.sessions->clearUnanswered(); }

Connection& Database::DbConnection() {
  if (!m_slot1) throw objectNotSet();
  return *m_slot1;
}

Connection& Database::DbConnection2() {
  if (!m_slot2) throw objectNotSet();
  return *m_slot2;
}

void Database::open(std::unique_ptr<Connection>& slot, const QString& procedure, const QString& cursorMode,
                    int timeout) {
  // Replacing the slot's object closes whatever it held; there is no test
  // for a connection that is already open.
  slot = std::make_unique<Connection>(m_environment);
  // Trapped here: a failed open is logged and the caller finds out at its
  // first statement on the closed connection.
  try {
    slot->setCursorLocation(cursorMode == QStringLiteral("S") ? Connection::kServerSideCursors
                                                              : Connection::kClientSideCursors);
    slot->setCommandTimeout(timeout);
    slot->setConnectionTimeout(timeout);
    slot->open(m_connectionString);
  } catch (const Error& error) {
    m_log.WriteLog(procedure + kSeparator + error.description());
  }
}

void Database::close(std::unique_ptr<Connection>& slot, const QString& procedure) {
  // Trapped here: the slot ends up empty even when the close failed.
  try {
    if (!slot) throw objectNotSet();
    slot->close();
  } catch (const Error& error) {
    m_log.WriteLog(procedure + kSeparator + error.description());
  }
  slot.reset();
}

}  // namespace corvex
