#include "db/connection_string.h"

#include <QDir>
#include <QStringList>

#include <algorithm>
#include <utility>
#include <vector>

namespace corvex {

namespace {

const QString kSqlitePrefix = QStringLiteral("sqlite:");

// Braces only where a value needs them (a ';', a leading '{', outer
// blanks), with '}' doubled inside: FreeTDS before 1.4 keeps a doubled '}'
// as two, while every driver reads a bare '}' or '=' in a value as it is.
QString odbcValue(const QString& value) {
  const bool needsBraces =
      value != value.trimmed() || value.contains(QLatin1Char(';')) || value.startsWith(QLatin1Char('{'));
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

// A provider value holding ';', a leading quote or outer blanks goes in
// double quotes, with '"' doubled.
QString providerValue(QString value) {
  const bool needsQuotes = value != value.trimmed() || value.contains(QLatin1Char(';')) ||
                           value.startsWith(QLatin1Char('"')) || value.startsWith(QLatin1Char('\''));
  if (!needsQuotes) return value;
  value.replace(QStringLiteral("\""), QStringLiteral("\"\""));
  return QLatin1Char('"') + value + QLatin1Char('"');
}

// A quoted value from text[*at] (its quote), with the doubled quote undone;
// *at ends past the closing quote.
QString quotedValue(const QString& text, qsizetype& at) {
  const QChar quote = text[at++];
  QString value;
  while (at < text.size()) {
    const QChar c = text[at++];
    if (c != quote) {
      value += c;
    } else if (at < text.size() && text[at] == quote) {
      value += c;
      ++at;
    } else {
      break;
    }
  }
  return value;
}

// The "key=value" parts of a provider string, keys trimmed and lower-case;
// a part without '=' is skipped.
std::vector<std::pair<QString, QString>> providerParts(const QString& text) {
  std::vector<std::pair<QString, QString>> parts;
  qsizetype at = 0;
  while (at < text.size()) {
    const qsizetype equals = text.indexOf(QLatin1Char('='), at);
    const qsizetype semicolon = text.indexOf(QLatin1Char(';'), at);
    if (equals < 0) break;
    if (semicolon >= 0 && semicolon < equals) {
      at = semicolon + 1;
      continue;
    }
    const QString key = text.mid(at, equals - at).trimmed().toLower();
    at = equals + 1;
    const bool quoted = at < text.size() && (text[at] == QLatin1Char('"') || text[at] == QLatin1Char('\''));
    QString value = quoted ? quotedValue(text, at) : QString();
    const qsizetype end = text.indexOf(QLatin1Char(';'), at);
    if (!quoted) value = text.mid(at, end < 0 ? -1 : end - at);
    parts.emplace_back(key, value);
    at = end < 0 ? text.size() : end + 1;
  }
  return parts;
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

ConnectionString ConnectionString::forServer(const QString& server, const DatabaseLogin& login) {
  const QString catalog = providerValue(login.database.isEmpty() ? QStringLiteral("Velantrix") : login.database);
  QString head;
  if (login.integrated)
    head = QStringLiteral("Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Initial Catalog=") +
           catalog;
  else if (login.user.isEmpty())
    head = QStringLiteral(
               "Provider=SQLOLEDB.1;Password=+-582417;Persist Security Info=True;User ID=tov;Initial "
               "Catalog=") +
           catalog;
  else
    head = QStringLiteral("Provider=SQLOLEDB.1;Password=%1;Persist Security Info=False;User ID=%2;Initial Catalog=%3")
               .arg(providerValue(login.password), providerValue(login.user), catalog);
  return ConnectionString(head + QStringLiteral(";Data Source=") + server +
                          QStringLiteral(";Network Library=dbmssocn"));
}

ConnectionString::ConnectionString(const QString& text) : m_text(text) {
  for (const auto& [key, value] : providerParts(text)) {
    if (key == QStringLiteral("data source")) m_dataSource = value;
    if (key == QStringLiteral("user id")) m_userId = value;
    if (key == QStringLiteral("password")) m_password = value;
    if (key == QStringLiteral("initial catalog")) m_catalog = value;
    if (key == QStringLiteral("integrated security"))
      m_integrated = value.compare(QStringLiteral("SSPI"), Qt::CaseInsensitive) == 0 ||
                     value.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0 ||
                     value.compare(QStringLiteral("yes"), Qt::CaseInsensitive) == 0;
  }
}

bool ConnectionString::isSqlite() const { return m_dataSource.startsWith(kSqlitePrefix, Qt::CaseInsensitive); }

QString ConnectionString::sqlitePath(const AppFolder& folder) const {
  return QDir::cleanPath(QDir(folder.root()).absoluteFilePath(m_dataSource.mid(kSqlitePrefix.size())));
}

QString ConnectionString::odbcString(const QString& driver, const QString& driverOptions) const {
  const bool freeTds = driver.contains(QStringLiteral("FreeTDS"), Qt::CaseInsensitive);
  QStringList parts{QStringLiteral("DRIVER={") + driver + QLatin1Char('}'), serverPart(m_dataSource, freeTds),
                    QStringLiteral("DATABASE=") + odbcValue(m_catalog)};
  // Microsoft's drivers log in with Windows' or Kerberos' identity, FreeTDS
  // with a Kerberos ticket (GSSAPI) when it was built with it.
  if (m_integrated)
    parts << QStringLiteral("Trusted_Connection=Yes");
  else
    parts << QStringLiteral("UID=") + odbcValue(m_userId) << QStringLiteral("PWD=") + odbcValue(m_password);
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
