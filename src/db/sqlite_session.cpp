#include "db/sqlite_session.h"

#include "base/error.h"
#include "db/procedure_call.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

namespace corvex {

namespace {

Error databaseError(const QSqlError& error) {
  const QString text = error.text().trimmed();
  return Error(kDatabaseError, text.isEmpty() ? QStringLiteral("Unknown database error") : text);
}

std::unique_ptr<RecordSet> readAll(QSqlQuery& query) {
  QStringList columns;
  RowStore rows;
  if (query.isSelect()) {
    const QSqlRecord record = query.record();
    for (int i = 0; i < record.count(); ++i) columns << record.fieldName(i);
    while (query.next()) {
      std::vector<QVariant> row;
      row.reserve(columns.size());
      for (int i = 0; i < columns.size(); ++i) row.push_back(query.value(i));
      rows.append(std::move(row));
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

SqliteSession::SqliteSession(const QString& path, int busyTimeout)
    : m_name(QStringLiteral("corvex-") + QUuid::createUuid().toString(QUuid::WithoutBraces)) {
  if (!QFileInfo(path).isFile())
    throw Error(
        kDatabaseError,
        QStringLiteral("Cannot open database \"%1\": the file does not exist.").arg(QDir::toNativeSeparators(path)));
  QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
  db.setDatabaseName(path);
  db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(qint64(busyTimeout) * 1000));
  if (!db.open()) throw databaseError(db.lastError());
}

SqliteSession::~SqliteSession() {
  QSqlDatabase::database(m_name, false).close();
  QSqlDatabase::removeDatabase(m_name);
}

qint64 SqliteSession::executeUpdate(const QString& statement) {
  QSqlQuery query(QSqlDatabase::database(m_name, false));
  if (!query.exec(statement)) throw databaseError(query.lastError());
  return query.numRowsAffected();
}

std::unique_ptr<RecordSet> SqliteSession::execute(const QString& statement) {
  const QSqlDatabase db = QSqlDatabase::database(m_name, false);
  QSqlQuery query(db);
  query.setForwardOnly(true);
  if (const std::optional<ProcedureCall> call = parseProcedureCall(statement)) {
    prepareProcedure(query, db, *call);
    if (!query.exec()) throw databaseError(query.lastError());
  } else if (!query.exec(statement)) {
    throw databaseError(query.lastError());
  }
  return readAll(query);
}

}  // namespace corvex
