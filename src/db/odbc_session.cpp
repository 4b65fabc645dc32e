#include "db/odbc_session.h"

#include <QDateTime>

#include <vector>

namespace corvex {

namespace {

SQLWCHAR* sqlW(std::u16string& text) { return reinterpret_cast<SQLWCHAR*>(text.data()); }

bool isTimeout(const QString& sqlState) {
  return sqlState == QStringLiteral("HYT00") || sqlState == QStringLiteral("HYT01");
}

// A time-out the driver reports names no time; say what happened.
[[noreturn]] void raise(const Error& error, const QString& sqlState, int seconds, const char* what) {
  if (!isTimeout(sqlState)) throw error;
  throw NoAnswerError(
      error.number(),
      error.description() +
          QStringLiteral(" (%1 got no answer within %2 s)").arg(QString::fromLatin1(what)).arg(seconds));
}

// Reads one long value in pieces: a driver may not know a value's length
// (SQL_NO_TOTAL) and says so only while more remains.
template <typename Unit>
std::vector<Unit> readPieces(const OdbcStatementHandle& statement, SQLUSMALLINT column, SQLSMALLINT cType,
                             bool& isNull) {
  constexpr SQLLEN kPieceUnits = 32768;
  const SQLLEN terminator = cType == SQL_C_BINARY ? 0 : 1;
  std::vector<Unit> value;
  std::vector<Unit> piece(kPieceUnits);
  isNull = false;
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = statement.check(
        SQLGetData(statement.get(), column, cType, piece.data(), kPieceUnits * sizeof(Unit), &indicator));
    if (rc == SQL_NO_DATA) break;
    if (indicator == SQL_NULL_DATA) {
      isNull = true;
      break;
    }
    const bool truncated = rc == SQL_SUCCESS_WITH_INFO &&
                           (indicator == SQL_NO_TOTAL || indicator > SQLLEN((kPieceUnits - terminator) * sizeof(Unit)));
    const SQLLEN units = truncated ? kPieceUnits - terminator : indicator / SQLLEN(sizeof(Unit));
    value.insert(value.end(), piece.begin(), piece.begin() + units);
    if (!truncated) break;
  }
  return value;
}

QVariant readText(const OdbcStatementHandle& statement, SQLUSMALLINT column) {
  bool isNull = false;
  const std::vector<SQLWCHAR> units = readPieces<SQLWCHAR>(statement, column, SQL_C_WCHAR, isNull);
  if (isNull) return QVariant(QMetaType(QMetaType::QString));
  return QString::fromUtf16(reinterpret_cast<const char16_t*>(units.data()), qsizetype(units.size()));
}

QVariant readBytes(const OdbcStatementHandle& statement, SQLUSMALLINT column) {
  bool isNull = false;
  const std::vector<char> bytes = readPieces<char>(statement, column, SQL_C_BINARY, isNull);
  if (isNull) return QVariant(QMetaType(QMetaType::QByteArray));
  return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

template <typename Value>
bool readFixed(const OdbcStatementHandle& statement, SQLUSMALLINT column, SQLSMALLINT cType, Value& value) {
  SQLLEN indicator = 0;
  statement.check(SQLGetData(statement.get(), column, cType, &value, sizeof(value), &indicator));
  return indicator != SQL_NULL_DATA;
}

QVariant readInteger(const OdbcStatementHandle& statement, SQLUSMALLINT column) {
  SQLBIGINT value = 0;
  if (!readFixed(statement, column, SQL_C_SBIGINT, value)) return QVariant(QMetaType(QMetaType::LongLong));
  return qlonglong(value);
}

// Money and decimals become doubles, as a SQLite REAL column gives them, so
// formats and amounts in words come out the same on both.
QVariant readDouble(const OdbcStatementHandle& statement, SQLUSMALLINT column) {
  double value = 0;
  if (!readFixed(statement, column, SQL_C_DOUBLE, value)) return QVariant(QMetaType(QMetaType::Double));
  return value;
}

QVariant readTimestamp(const OdbcStatementHandle& statement, SQLUSMALLINT column) {
  SQL_TIMESTAMP_STRUCT value{};
  if (!readFixed(statement, column, SQL_C_TYPE_TIMESTAMP, value)) return QVariant(QMetaType(QMetaType::QDateTime));
  return QDateTime(QDate(value.year, value.month, value.day),
                   QTime(value.hour, value.minute, value.second, int(value.fraction / 1000000)));
}

QVariant readValue(const OdbcStatementHandle& statement, SQLUSMALLINT column, SQLSMALLINT sqlType) {
  switch (sqlType) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
      return readInteger(statement, column);
    case SQL_DECIMAL:
    case SQL_NUMERIC:
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return readDouble(statement, column);
    case SQL_TYPE_TIMESTAMP:
    case SQL_TYPE_DATE:
      return readTimestamp(statement, column);
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return readBytes(statement, column);
    default:
      return readText(statement, column);
  }
}

struct Column {
  QString name;
  SQLSMALLINT sqlType = 0;
};

std::vector<Column> describeColumns(const OdbcStatementHandle& statement, SQLSMALLINT count) {
  std::vector<Column> columns;
  for (SQLUSMALLINT i = 1; i <= SQLUSMALLINT(count); ++i) {
    SQLWCHAR name[512] = {};
    SQLSMALLINT nameLength = 0;
    Column column;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    SQLSMALLINT nullable = 0;
    statement.check(SQLDescribeColW(statement.get(), i, name, SQLSMALLINT(std::size(name)), &nameLength,
                                    &column.sqlType, &size, &digits, &nullable));
    column.name = QString::fromUtf16(reinterpret_cast<const char16_t*>(name),
                                     std::min<qsizetype>(nameLength, qsizetype(std::size(name)) - 1));
    columns.push_back(column);
  }
  return columns;
}

std::unique_ptr<RecordSet> readRows(const OdbcStatementHandle& statement, SQLSMALLINT columnCount) {
  const std::vector<Column> columns = describeColumns(statement, columnCount);
  QStringList names;
  for (const Column& column : columns) names << column.name;
  RowStore rows;
  while (statement.check(SQLFetch(statement.get())) != SQL_NO_DATA) {
    std::vector<QVariant> row;
    row.reserve(columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i)
      row.push_back(readValue(statement, SQLUSMALLINT(i + 1), columns[i].sqlType));
    rows.append(std::move(row));
  }
  return std::make_unique<RecordSet>(std::move(names), std::move(rows));
}

}  // namespace

OdbcSession::OdbcSession(const QString& connectString, int loginTimeout)
    : m_connectString(connectString), m_environment(SQL_NULL_HANDLE), m_connection(m_environment.get()) {
  SQLSetConnectAttr(m_connection.get(), SQL_ATTR_LOGIN_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginTimeout)), 0);
  std::u16string text = connectString.toStdU16String();
  const SQLRETURN rc =
      SQLDriverConnectW(m_connection.get(), nullptr, sqlW(text), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
  if (!odbcSucceeded(rc))
    raise(odbcError(SQL_HANDLE_DBC, m_connection.get()), m_connection.sqlState(), loginTimeout, "the login");
  m_connection.setConnected();
}

std::unique_ptr<RecordSet> OdbcSession::execute(const QString& statementText, int timeout) {
  OdbcStatementHandle statement(m_connection.get());
  SQLSetStmtAttr(statement.get(), SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeout)),
                 0);
  std::u16string text = statementText.toStdU16String();
  try {
    SQLRETURN rc = statement.check(SQLExecDirectW(statement.get(), sqlW(text), SQL_NTS));
    std::unique_ptr<RecordSet> result;
    // A batch may give row counts and several results; the first one with
    // columns is the answer, and the rest are read to find any error.
    while (rc != SQL_NO_DATA) {
      SQLSMALLINT columns = 0;
      statement.check(SQLNumResultCols(statement.get(), &columns));
      if (columns > 0 && !result) result = readRows(statement, columns);
      rc = statement.check(SQLMoreResults(statement.get()));
    }
    return result ? std::move(result) : std::make_unique<RecordSet>(QStringList(), RowStore());
  } catch (const Error& error) {
    raise(error, statement.sqlState(), timeout, "the statement");
  }
}

bool OdbcSession::isDead() const {
  SQLUINTEGER dead = SQL_CD_FALSE;
  const SQLRETURN rc = SQLGetConnectAttr(m_connection.get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
  return odbcSucceeded(rc) && dead == SQL_CD_TRUE;
}

}  // namespace corvex
