#pragma once

// Internal to src/db: the ODBC C API's handles and diagnostics. Nothing
// outside this folder includes it.

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include "base/error.h"

#include <QString>

namespace corvex {

/// Owns one ODBC handle of kind `Kind` (SQL_HANDLE_ENV, SQL_HANDLE_DBC or
/// SQL_HANDLE_STMT) and frees it; a connection handle is disconnected first.
template <SQLSMALLINT Kind>
class OdbcHandle {
 public:
  /// Allocates a handle below `parent` (SQL_NULL_HANDLE for an environment).
  /// Raises kDatabaseError when the driver manager cannot.
  explicit OdbcHandle(SQLHANDLE parent);
  ~OdbcHandle();
  OdbcHandle(const OdbcHandle&) = delete;
  OdbcHandle& operator=(const OdbcHandle&) = delete;

  SQLHANDLE get() const { return m_handle; }
  /// Raises the handle's diagnostics as an Error when `rc` is a failure;
  /// returns `rc` otherwise.
  SQLRETURN check(SQLRETURN rc) const;
  /// The SQLSTATE of the handle's first diagnostic record, or empty.
  QString sqlState() const;
  /// A connection handle that SQLDriverConnect opened: disconnected before
  /// it is freed.
  void setConnected() { m_connected = true; }

 private:
  SQLHANDLE m_handle = SQL_NULL_HANDLE;
  bool m_connected = false;
};

using OdbcEnvironmentHandle = OdbcHandle<SQL_HANDLE_ENV>;
using OdbcConnectionHandle = OdbcHandle<SQL_HANDLE_DBC>;
using OdbcStatementHandle = OdbcHandle<SQL_HANDLE_STMT>;

/// The diagnostics of `handle` as one Error (kDatabaseError): the texts of
/// its records without the driver's bracketed "[vendor][component]" tags, so
/// the log carries the server's own words.
Error odbcError(SQLSMALLINT kind, SQLHANDLE handle);

/// True for a result that is not a failure.
inline bool odbcSucceeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

}  // namespace corvex
