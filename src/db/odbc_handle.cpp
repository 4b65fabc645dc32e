#include "db/odbc_handle.h"

#include <QRegularExpression>
#include <QStringList>

namespace corvex {

namespace {

QString fromSqlWChar(const SQLWCHAR* text, qsizetype length) {
  return QString::fromUtf16(reinterpret_cast<const char16_t*>(text), length);
}

// "[unixODBC][FreeTDS][SQL Server]Login failed ..." -> "Login failed ..."
QString withoutVendorTags(const QString& text) {
  static const QRegularExpression tags(QStringLiteral("^(\\[[^\\]]*\\])+"));
  return text.trimmed().remove(tags).trimmed();
}

}  // namespace

template <SQLSMALLINT Kind>
OdbcHandle<Kind>::OdbcHandle(SQLHANDLE parent) {
  const SQLRETURN rc = SQLAllocHandle(Kind, parent, &m_handle);
  if (!odbcSucceeded(rc)) {
    m_handle = SQL_NULL_HANDLE;
    throw Error(kDatabaseError, QStringLiteral("The ODBC driver manager could not allocate a handle."));
  }
  if constexpr (Kind == SQL_HANDLE_ENV)
    SQLSetEnvAttr(m_handle, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
}

template <SQLSMALLINT Kind>
OdbcHandle<Kind>::~OdbcHandle() {
  if (m_handle == SQL_NULL_HANDLE) return;
  if constexpr (Kind == SQL_HANDLE_DBC) {
    if (m_connected) SQLDisconnect(m_handle);
  }
  SQLFreeHandle(Kind, m_handle);
}

template <SQLSMALLINT Kind>
SQLRETURN OdbcHandle<Kind>::check(SQLRETURN rc) const {
  if (!odbcSucceeded(rc) && rc != SQL_NO_DATA) throw odbcError(Kind, m_handle);
  return rc;
}

template <SQLSMALLINT Kind>
QString OdbcHandle<Kind>::sqlState() const {
  SQLWCHAR state[6] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  if (!odbcSucceeded(SQLGetDiagRecW(Kind, m_handle, 1, state, &native, nullptr, 0, &length))) return QString();
  return fromSqlWChar(state, 5);
}

template class OdbcHandle<SQL_HANDLE_ENV>;
template class OdbcHandle<SQL_HANDLE_DBC>;
template class OdbcHandle<SQL_HANDLE_STMT>;

Error odbcError(SQLSMALLINT kind, SQLHANDLE handle) {
  QStringList texts;
  for (SQLSMALLINT record = 1;; ++record) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLWCHAR message[2048] = {};
    SQLSMALLINT length = 0;
    const SQLRETURN rc =
        SQLGetDiagRecW(kind, handle, record, state, &native, message, SQLSMALLINT(std::size(message)), &length);
    if (!odbcSucceeded(rc)) break;
    const QString text =
        withoutVendorTags(fromSqlWChar(message, std::min<qsizetype>(length, qsizetype(std::size(message)) - 1)));
    if (!text.isEmpty() && !texts.contains(text)) texts << text;
  }
  return Error(kDatabaseError,
               texts.isEmpty() ? QStringLiteral("Unknown database error") : texts.join(QStringLiteral("; ")));
}

}  // namespace corvex
