#include "dispatch/dispatch_lock.h"

#include "base/error.h"

namespace corvex {

namespace {

// Session-owned, so that the server frees it when the connection ends for
// any reason; a time-out of 0 asks without waiting.
const QString kAcquire = QStringLiteral(
    "DECLARE @result int; EXEC @result = sp_getapplock @Resource = 'Corvex dispatch', @LockMode = 'Exclusive', "
    "@LockOwner = 'Session', @LockTimeout = 0; SELECT @result AS result");
const QString kRelease = QStringLiteral("EXEC sp_releaseapplock @Resource = 'Corvex dispatch', @LockOwner = 'Session'");

}  // namespace

DispatchLock::DispatchLock(Database& database, const DailyLog& log)
    : m_database(database), m_log(log), m_onSqlServer(database.isSqlServer()) {}

bool DispatchLock::acquire() {
  if (!m_onSqlServer) return true;
  // sp_getapplock: 0 granted, 1 granted after waiting, negative refused.
  m_held = m_database.DbConnection2().execute(kAcquire)->field(QStringLiteral("result")).toNumber() >= 0;
  if (m_held) {
    if (m_refusalLogged) m_log.WriteLog(QStringLiteral("sendDTEbyMail=> Dispatch lock of the database obtained"));
    m_refusalLogged = false;
  } else if (!m_refusalLogged) {
    m_log.WriteLog(
        QStringLiteral("sendDTEbyMail=> Another Corvex holds the dispatch lock of this database; waiting for it"));
    m_refusalLogged = true;
  }
  return m_held;
}

void DispatchLock::release() {
  if (!m_held) return;
  m_held = false;
  try {
    m_database.DbConnection2().execute(kRelease);
  } catch (const Error&) {
    // Kept, the session would carry the lock into another run, which would
    // then hold it twice and never give it back: the server frees it with
    // the session.
    m_database.DbConnection2().discardSession();
    throw;
  }
}

void DispatchLock::releaseQuietly() noexcept {
  // Trapped here: the error path that calls this has already logged its cause.
  try {
    if (m_database.hasDbConnection2()) release();
  } catch (...) {
  }
  m_held = false;
}

}  // namespace corvex
