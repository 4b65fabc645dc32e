#pragma once

#include "base/app_folder.h"

#include <QString>

namespace corvex {

/// The ODBC driver used for SQL Server unless main.ini names another.
QString defaultOdbcDriver();

/// How the program logs in to SQL Server. Empty user and database, and not
/// integrated, mean the fixed login and catalog the program always used.
struct DatabaseLogin {
  QString user;
  QString password;
  /// The catalog; empty: the fixed one.
  QString database;
  /// The operating system's identity (Kerberos, Windows), no password.
  bool integrated = false;
};

/// The one owner of the program's connection string: it builds the string
/// from main.ini's server value and login and reads one back, once, into the
/// parts every connection uses. The string has the original's provider form
/// ("Provider=...;Password=...;User ID=...;Initial Catalog=...;Data
/// Source=...;..."), since the layouts' data control sees it. Both text()
/// and odbcString() hold the password: nothing may log or print them.
class ConnectionString {
 public:
  /// `login` (by default the fixed login, password and catalog) with
  /// `server` as the data source, placed as it stands (no trimming, no
  /// quoting). A value holding ';', quotes or outer blanks is quoted.
  static ConnectionString forServer(const QString& server, const DatabaseLogin& login = {});

  /// Reads a provider string; keys ignore case, a value keeps everything
  /// after its first '=' up to the next ';', or is one "..." or '...' with
  /// the quote doubled inside.
  explicit ConnectionString(const QString& text);

  const QString& text() const { return m_text; }
  const QString& dataSource() const { return m_dataSource; }
  /// The login's name; empty with integrated authentication.
  const QString& userId() const { return m_userId; }
  bool isIntegrated() const { return m_integrated; }

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
  bool m_integrated = false;
};

}  // namespace corvex
