#pragma once

#include "base/app_folder.h"

#include <QString>

namespace corvex {

/// The ODBC driver used for SQL Server unless main.ini names another.
QString defaultOdbcDriver();

/// The one owner of the program's connection string: it builds the string
/// from main.ini's server value and reads one back, once, into the parts
/// every connection uses. The string has the original's provider form
/// ("Provider=...;Password=...;User ID=...;Initial Catalog=...;Data
/// Source=...;..."), since the layouts' data control and operators see it.
class ConnectionString {
 public:
  /// The fixed login, password and catalog with `server` as the data source,
  /// placed as it stands (no trimming, no quoting).
  static ConnectionString forServer(const QString& server);

  /// Reads a provider string; keys ignore case, a value keeps everything
  /// after its first '='.
  explicit ConnectionString(const QString& text);

  const QString& text() const { return m_text; }
  const QString& dataSource() const { return m_dataSource; }

  /// A data source "sqlite:PATH" selects a SQLite file.
  bool isSqlite() const;
  /// The SQLite file: PATH relative to the Application folder, or absolute.
  QString sqlitePath(const AppFolder& folder) const;
  /// The string handed to the ODBC driver manager for SQL Server through
  /// `driver`, the data source in the forms host, host\instance or host,port,
  /// followed by `driverOptions` ("Key=value;...") as they stand.
  QString odbcString(const QString& driver, const QString& driverOptions) const;

 private:
  QString m_text;
  QString m_dataSource;
  QString m_userId;
  QString m_password;
  QString m_catalog;
};

}  // namespace corvex
