#include "db/connection_string.h"

#include <QDir>
#include <QStringList>

#include <algorithm>

namespace corvex {

namespace {

const QString kSqlitePrefix = QStringLiteral("sqlite:");

// ODBC values holding separators or braces go in braces, with '}' doubled.
QString odbcValue(const QString& value) {
  static const QString kSpecial = QStringLiteral(";{}=");
  const bool needsBraces =
      value != value.trimmed() || std::any_of(value.begin(), value.end(), [](QChar c) { return kSpecial.contains(c); });
  if (!needsBraces) return value;
  QString escaped = value;
  escaped.replace(QStringLiteral("}"), QStringLiteral("}}"));
  return QLatin1Char('{') + escaped + QLatin1Char('}');
}

// FreeTDS takes the port as a key of its own; Microsoft's drivers take
// "host,port" and "host\instance" as the server as they stand.
QString serverPart(const QString& dataSource, bool freeTds) {
  const qsizetype comma = dataSource.indexOf(QLatin1Char(','));
  if (!freeTds) return QStringLiteral("SERVER=") + odbcValue(dataSource);
  if (comma >= 0)
    return QStringLiteral("SERVER=") + odbcValue(dataSource.left(comma).trimmed()) + QStringLiteral(";PORT=") +
           odbcValue(dataSource.mid(comma + 1).trimmed());
  if (dataSource.contains(QLatin1Char('\\'))) return QStringLiteral("SERVER=") + odbcValue(dataSource);
  return QStringLiteral("SERVER=") + odbcValue(dataSource) + QStringLiteral(";PORT=1433");
}

}  // namespace

QString defaultOdbcDriver() {
#ifdef Q_OS_WIN
  // Present on every Windows installation; newer drivers may be named in main.ini.
  return QStringLiteral("SQL Server");
#else
  return QStringLiteral("FreeTDS");
#endif
}

ConnectionString ConnectionString::forServer(const QString& server) {
  return ConnectionString(QStringLiteral("Provider=SQLOLEDB.1;Password=+-582417;Persist Security Info=True;User "
                                         "ID=tov;Initial Catalog=Velantrix;Data Source=") +
                          server + QStringLiteral(";Network Library=dbmssocn"));
}

ConnectionString::ConnectionString(const QString& text) : m_text(text) {
  for (const QString& part : text.split(QLatin1Char(';'))) {
    const qsizetype equals = part.indexOf(QLatin1Char('='));
    if (equals < 0) continue;
    const QString key = part.left(equals).trimmed().toLower();
    const QString value = part.mid(equals + 1);
    if (key == QStringLiteral("data source")) m_dataSource = value;
    if (key == QStringLiteral("user id")) m_userId = value;
    if (key == QStringLiteral("password")) m_password = value;
    if (key == QStringLiteral("initial catalog")) m_catalog = value;
  }
}

bool ConnectionString::isSqlite() const { return m_dataSource.startsWith(kSqlitePrefix, Qt::CaseInsensitive); }

QString ConnectionString::sqlitePath(const AppFolder& folder) const {
  return QDir::cleanPath(QDir(folder.root()).absoluteFilePath(m_dataSource.mid(kSqlitePrefix.size())));
}

QString ConnectionString::odbcString(const QString& driver, const QString& driverOptions) const {
  const bool freeTds = driver.contains(QStringLiteral("FreeTDS"), Qt::CaseInsensitive);
  QStringList parts{QStringLiteral("DRIVER={") + driver + QLatin1Char('}'), serverPart(m_dataSource, freeTds),
                    QStringLiteral("DATABASE=") + odbcValue(m_catalog), QStringLiteral("UID=") + odbcValue(m_userId),
                    QStringLiteral("PWD=") + odbcValue(m_password)};
  // FreeTDS would otherwise speak whatever freetds.conf says, and leave the
  // server's TEXTSIZE of 4096 bytes in force, cutting every long text and
  // picture short without a word; Microsoft's drivers raise it themselves.
  if (freeTds)
    parts << QStringLiteral("TDS_Version=7.4") << QStringLiteral("ClientCharset=UTF-8")
          << QStringLiteral("TextSize=2147483647");
  if (!driverOptions.trimmed().isEmpty()) parts << driverOptions.trimmed();
  return parts.join(QLatin1Char(';'));
}

}  // namespace corvex
