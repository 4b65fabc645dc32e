#pragma once

#include "base/app_folder.h"

#include <QString>

namespace corvex {

/// Where a connection string leads once translated for this platform.
struct ConnectionTarget {
  enum class Kind { Sqlite, Odbc };
  Kind kind = Kind::Odbc;
  /// Sqlite: the absolute path of the database file.
  QString sqlitePath;
  /// Odbc: the connection string handed to the ODBC driver manager.
  QString odbcString;
};

/// The ODBC driver used for SQL Server unless main.ini names another.
QString defaultOdbcDriver();

/// Translates a provider connection string ("Provider=...;Password=...;User
/// ID=...;Initial Catalog=...;Data Source=...") into a target. A data source
/// "sqlite:PATH" selects a SQLite file (PATH relative to the Application
/// folder, or absolute); any other names a SQL Server reached through the ODBC
/// driver `odbcDriver`, in the forms host, host\instance or host,port.
ConnectionTarget translateConnectionString(const QString& connectionString, const AppFolder& folder,
                                           const QString& odbcDriver);

}  // namespace corvex
