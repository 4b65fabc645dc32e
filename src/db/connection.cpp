#include "db/connection.h"

#include "base/error.h"
#include "db/odbc_session.h"
#include "db/session_pool.h"
#include "db/sqlite_session.h"

#include <algorithm>
#include <utility>

namespace corvex {

namespace {

// The caller's seconds, held to the environment's bound; 0 asks for the bound.
int boundedSeconds(int seconds, int bound) { return seconds > 0 ? std::min(seconds, bound) : bound; }

Error objectClosed() {
  return Error(kObjectClosed, QStringLiteral("Operation is not allowed when the object is closed."));
}

// The statement's error names why the connection is closed: at start-up it
// is the only error the operator sees.
Error objectClosed(const QString& openFailure) {
  Error error = objectClosed();
  if (openFailure.isEmpty()) return error;
  return Error(error.number(), error.description() + QStringLiteral(" The open failed: ") + openFailure);
}

}  // namespace

Connection::Connection(DbEnvironment environment) : m_environment(std::move(environment)) {}

Connection::~Connection() { release(); }

void Connection::open(const ConnectionString& connectionString) {
  release();
  m_openFailure.clear();
  // Not trapped: remembered for the statements that follow, and raised on.
  try {
    openSession(connectionString);
  } catch (const Error& error) {
    m_openFailure = error.description();
    throw;
  }
}

void Connection::openSession(const ConnectionString& connectionString) {
  if (connectionString.isSqlite()) {
    m_sqlite = std::make_unique<SqliteSession>(connectionString.sqlitePath(m_environment.folder),
                                               boundedSeconds(m_commandTimeout, m_environment.statementTimeout));
    return;
  }
  const QString connectString = connectionString.odbcString(m_environment.odbcDriver, m_environment.driverOptions);
  if (m_environment.sessions) m_odbc = m_environment.sessions->take(connectString);
  m_untriedKeptSession = m_odbc != nullptr;
  if (!m_odbc) m_odbc = logIn(connectString);
}

bool Connection::isOpen() const { return m_sqlite || m_odbc; }

std::unique_ptr<RecordSet> Connection::execute(const QString& statement) {
  if (m_sqlite) return m_sqlite->execute(statement);
  if (!m_odbc) throw objectClosed(m_openFailure);
  requireAnsweringServer();
  const bool mayRetry = std::exchange(m_untriedKeptSession, false);
  try {
    return executeOnSession(statement);
  } catch (const NoAnswerError&) {
    // It already took its full time: no reason to try again.
    throw;
  } catch (const Error&) {
    // A session kept between units of work can break while idle (server
    // restart, dropped link); that alone must not stop the run.
    if (!mayRetry || !m_odbc->isDead()) throw;
  }
  const QString connectString = m_odbc->connectString();
  m_odbc.reset();
  m_odbc = logIn(connectString);
  return executeOnSession(statement);
}

// A session whose statement went unanswered may still be busy with it: it is
// logged out, and the server is left alone until the pool is told otherwise.
std::unique_ptr<RecordSet> Connection::executeOnSession(const QString& statement) {
  try {
    return m_odbc->execute(statement, boundedSeconds(m_commandTimeout, m_environment.statementTimeout));
  } catch (const NoAnswerError&) {
    m_odbc.reset();
    if (m_environment.sessions) m_environment.sessions->markUnanswered();
    throw;
  }
}

void Connection::requireAnsweringServer() const {
  if (m_environment.sessions && m_environment.sessions->unanswered())
    throw Error(kDatabaseError, QStringLiteral("The database server did not answer an earlier statement or login; "
                                               "nothing more is sent to it before the next run."));
}

qint64 Connection::executeUpdate(const QString& statement) {
  if (m_sqlite) return m_sqlite->executeUpdate(statement);
  return qint64(execute(statement + QStringLiteral("; SELECT @@ROWCOUNT AS changed"))
                    ->field(QStringLiteral("changed"))
                    .toNumber());
}

void Connection::close() {
  if (!isOpen()) throw objectClosed();
  release();
}

std::unique_ptr<OdbcSession> Connection::logIn(const QString& connectString) const {
  requireAnsweringServer();
  try {
    return std::make_unique<OdbcSession>(connectString,
                                         boundedSeconds(m_connectionTimeout, m_environment.loginTimeout));
  } catch (const NoAnswerError&) {
    if (m_environment.sessions) m_environment.sessions->markUnanswered();
    throw;
  }
}

void Connection::discardSession() {
  m_sqlite.reset();
  m_odbc.reset();
  m_untriedKeptSession = false;
}

void Connection::release() {
  m_sqlite.reset();
  if (m_odbc && m_environment.sessions) m_environment.sessions->giveBack(std::move(m_odbc));
  m_odbc.reset();
}

}  // namespace corvex
