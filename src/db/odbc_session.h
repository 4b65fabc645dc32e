#pragma once

#include "db/no_answer_error.h"
#include "db/odbc_handle.h"
#include "db/record_set.h"

#include <QString>

#include <memory>

namespace corvex {

/// One physical ODBC session with SQL Server: logged in at construction,
/// logged out when destroyed. Every value of a result arrives whole,
/// whatever its length (read in pieces until the driver says it is done).
class OdbcSession {
 public:
  /// Logs in through the driver manager with `connectString`; gives up after
  /// `loginTimeout` seconds (NoAnswerError). Raises kDatabaseError with the
  /// driver's or the server's text.
  OdbcSession(const QString& connectString, int loginTimeout);

  const QString& connectString() const { return m_connectString; }

  /// Runs one plain-text statement; a statement not answered within
  /// `timeout` seconds is cancelled (NoAnswerError). Gives the rows of the first result that
  /// has columns (all read up front), or an empty record set. Raises the
  /// server's error text as kDatabaseError.
  std::unique_ptr<RecordSet> execute(const QString& statement, int timeout);

  /// True once the driver found the link broken.
  bool isDead() const;

 private:
  QString m_connectString;
  OdbcEnvironmentHandle m_environment;
  OdbcConnectionHandle m_connection;
};

}  // namespace corvex
