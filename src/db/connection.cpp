#include "db/connection.h"

#include "base/error.h"
#include "db/connection_target.h"
#include "db/procedure_call.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

#include <climits>

namespace corvex {

namespace {

Error databaseError(const QSqlError& error) {
  const QString text = error.text().trimmed();
  return Error(kDatabaseError, text.isEmpty() ? QStringLiteral("Unknown database error") : text);
}

// Zero means "no limit" to our callers; SQLite's busy time-out of zero means
// "do not wait at all", so the largest wait stands in for it.
int sqliteBusyMilliseconds(int seconds) { return seconds <= 0 || seconds > INT_MAX / 1000 ? INT_MAX : seconds * 1000; }

std::unique_ptr<RecordSet> readAll(QSqlQuery& query) {
  QStringList columns;
  std::vector<std::vector<QVariant>> rows;
  if (query.isSelect()) {
    const QSqlRecord record = query.record();
    for (int i = 0; i < record.count(); ++i) columns << record.fieldName(i);
    while (query.next()) {
      std::vector<QVariant> row;
      row.reserve(columns.size());
      for (int i = 0; i < columns.size(); ++i) row.push_back(query.value(i));
      rows.push_back(std::move(row));
    }
    if (query.lastError().isValid()) throw databaseError(query.lastError());
  }
  return std::make_unique<RecordSet>(std::move(columns), std::move(rows));
}

// SQLite keeps stored procedures as rows: fetch the body and bind the call's values.
void prepareProcedure(QSqlQuery& query, const QSqlDatabase& db, const ProcedureCall& call) {
  QSqlQuery lookup(db);
  lookup.prepare(QStringLiteral("SELECT body FROM procedures WHERE name = ? COLLATE NOCASE"));
  lookup.addBindValue(call.name);
  if (!lookup.exec()) throw databaseError(lookup.lastError());
  if (!lookup.next())
    throw Error(kDatabaseError, QStringLiteral("Could not find stored procedure '%1'.").arg(call.name));
  const BoundBody bound = bindProcedureBody(call, lookup.value(0).toString());
  if (!query.prepare(bound.sql)) throw databaseError(query.lastError());
  for (const QVariant& value : bound.values) query.addBindValue(value);
}

}  // namespace

Connection::Connection(DbEnvironment environment)
    : m_name(QStringLiteral("corvex-") + QUuid::createUuid().toString(QUuid::WithoutBraces)),
      m_environment(std::move(environment)) {}

Connection::~Connection() {
  if (!QSqlDatabase::contains(m_name)) return;
  QSqlDatabase::database(m_name, false).close();
  QSqlDatabase::removeDatabase(m_name);
}

void Connection::open(const QString& connectionString) {
  const ConnectionTarget target =
      translateConnectionString(connectionString, m_environment.folder, m_environment.odbcDriver);
  m_isSqlite = target.kind == ConnectionTarget::Kind::Sqlite;
  if (m_isSqlite && !QFileInfo(target.sqlitePath).isFile())
    throw Error(kDatabaseError, QStringLiteral("Cannot open database \"%1\": the file does not exist.")
                                    .arg(QDir::toNativeSeparators(target.sqlitePath)));
  QSqlDatabase db =
      QSqlDatabase::contains(m_name)
          ? QSqlDatabase::database(m_name, false)
          : QSqlDatabase::addDatabase(m_isSqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QODBC"), m_name);
  if (m_isSqlite) {
    db.setDatabaseName(target.sqlitePath);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(sqliteBusyMilliseconds(m_commandTimeout)));
  } else {
    db.setDatabaseName(target.odbcString);
    if (m_connectionTimeout > 0)
      db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(m_connectionTimeout));
  }
  if (!db.open()) throw databaseError(db.lastError());
}

bool Connection::isOpen() const {
  return QSqlDatabase::contains(m_name) && QSqlDatabase::database(m_name, false).isOpen();
}

std::unique_ptr<RecordSet> Connection::execute(const QString& statement) {
  if (!isOpen()) throw Error(kObjectClosed, QStringLiteral("Operation is not allowed when the object is closed."));
  const QSqlDatabase db = QSqlDatabase::database(m_name, false);
  QSqlQuery query(db);
  query.setForwardOnly(true);
  const std::optional<ProcedureCall> call = m_isSqlite ? parseProcedureCall(statement) : std::nullopt;
  if (call) {
    prepareProcedure(query, db, *call);
    if (!query.exec()) throw databaseError(query.lastError());
  } else if (!query.exec(statement)) {
    throw databaseError(query.lastError());
  }
  return readAll(query);
}

void Connection::close() {
  if (!isOpen()) throw Error(kObjectClosed, QStringLiteral("Operation is not allowed when the object is closed."));
  QSqlDatabase::database(m_name, false).close();
}

}  // namespace corvex
