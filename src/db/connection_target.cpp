#include "db/connection_target.h"

#include <QDir>
#include <QMap>
#include <QStringList>

namespace corvex {

namespace {

const QString kSqlitePrefix = QStringLiteral("sqlite:");

// Keys folded to lower case; a value keeps everything after its first '='.
QMap<QString, QString> parsePairs(const QString& connectionString) {
  QMap<QString, QString> pairs;
  for (const QString& part : connectionString.split(QLatin1Char(';'))) {
    const qsizetype equals = part.indexOf(QLatin1Char('='));
    if (equals < 0) continue;
    pairs.insert(part.left(equals).trimmed().toLower(), part.mid(equals + 1));
  }
  return pairs;
}

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

ConnectionTarget odbcTarget(const QMap<QString, QString>& pairs, const QString& driver) {
  const bool freeTds = driver.contains(QStringLiteral("FreeTDS"), Qt::CaseInsensitive);
  QStringList parts{QStringLiteral("DRIVER={") + driver + QLatin1Char('}'),
                    serverPart(pairs.value(QStringLiteral("data source")), freeTds),
                    QStringLiteral("DATABASE=") + odbcValue(pairs.value(QStringLiteral("initial catalog"))),
                    QStringLiteral("UID=") + odbcValue(pairs.value(QStringLiteral("user id"))),
                    QStringLiteral("PWD=") + odbcValue(pairs.value(QStringLiteral("password")))};
  if (freeTds) parts << QStringLiteral("TDS_Version=7.4") << QStringLiteral("ClientCharset=UTF-8");
  ConnectionTarget target;
  target.kind = ConnectionTarget::Kind::Odbc;
  target.odbcString = parts.join(QLatin1Char(';'));
  return target;
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

ConnectionTarget translateConnectionString(const QString& connectionString, const AppFolder& folder,
                                           const QString& odbcDriver) {
  const QMap<QString, QString> pairs = parsePairs(connectionString);
  const QString dataSource = pairs.value(QStringLiteral("data source"));
  if (!dataSource.startsWith(kSqlitePrefix, Qt::CaseInsensitive)) return odbcTarget(pairs, odbcDriver);
  ConnectionTarget target;
  target.kind = ConnectionTarget::Kind::Sqlite;
  target.sqlitePath = QDir::cleanPath(QDir(folder.root()).absoluteFilePath(dataSource.mid(kSqlitePrefix.size())));
  return target;
}

}  // namespace corvex
