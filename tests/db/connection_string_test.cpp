#include "db/connection_string.h"

#include <QDir>

#include <gtest/gtest.h>

namespace corvex {
namespace {

QString providerString(const QString& server) { return ConnectionString::forServer(server).text(); }

struct OdbcCase {
  QString server;
  QString driver;
  QString expected;
};

TEST(ConnectionStringTest, SqlServerThroughOdbc) {
  const QString login = QStringLiteral("DATABASE=Velantrix;UID=tov;PWD=+-582417");
  const QString tds = QStringLiteral(";TDS_Version=7.4;ClientCharset=UTF-8;TextSize=2147483647");
  const OdbcCase cases[] = {
      {"db01", "FreeTDS", "DRIVER={FreeTDS};SERVER=db01;PORT=1433;" + login + tds},
      {"db01,14330", "FreeTDS", "DRIVER={FreeTDS};SERVER=db01;PORT=14330;" + login + tds},
      {"db01\\VENTAS", "FreeTDS", "DRIVER={FreeTDS};SERVER=db01\\VENTAS;" + login + tds},
      {"db01,14330", "ODBC Driver 18 for SQL Server",
       "DRIVER={ODBC Driver 18 for SQL Server};SERVER=db01,14330;" + login},
      {"db01\\VENTAS", "SQL Server", "DRIVER={SQL Server};SERVER=db01\\VENTAS;" + login},
  };
  for (const auto& c : cases) {
    const ConnectionString parsed(providerString(c.server));
    EXPECT_FALSE(parsed.isSqlite());
    EXPECT_EQ(parsed.odbcString(c.driver, QString()), c.expected);
  }
}

TEST(ConnectionStringTest, DriverOptionsFollowAsTheyStand) {
  EXPECT_EQ(ConnectionString(QStringLiteral("User ID=u;Password=p;Initial Catalog=C;Data Source=h,1"))
                .odbcString(QStringLiteral("ODBC Driver 18 for SQL Server"),
                            QStringLiteral(" Encrypt=yes;TrustServerCertificate=yes ")),
            QStringLiteral("DRIVER={ODBC Driver 18 for SQL Server};SERVER=h,1;DATABASE=C;UID=u;PWD=p;"
                           "Encrypt=yes;TrustServerCertificate=yes"));
}

TEST(ConnectionStringTest, ServerValueGoesInAsItStands) {
  const ConnectionString built = ConnectionString::forServer(QStringLiteral(" db01\\VENTAS "));
  EXPECT_EQ(built.dataSource(), QStringLiteral(" db01\\VENTAS "));
  EXPECT_EQ(ConnectionString(built.text()).dataSource(), built.dataSource());
}

TEST(ConnectionStringTest, ValuesWithSeparatorsAreBraced) {
  const ConnectionString parsed(QStringLiteral("User ID=a=b;Password=\"p;w}d\";Initial Catalog={C};Data Source=h"));
  EXPECT_EQ(parsed.odbcString(QStringLiteral("X"), QString()),
            QStringLiteral("DRIVER={X};SERVER=h;DATABASE={{C}}};UID=a=b;PWD={p;w}}d}"));
  // A brace alone needs no braces: FreeTDS 1.3 would keep both of a doubled '}'.
  EXPECT_EQ(ConnectionString(QStringLiteral("User ID=u;Password=p}w{d;Initial Catalog=C;Data Source=h"))
                .odbcString(QStringLiteral("X"), QString()),
            QStringLiteral("DRIVER={X};SERVER=h;DATABASE=C;UID=u;PWD=p}w{d"));
}

struct LoginCase {
  const char* name;
  DatabaseLogin login;
  QString provider;  // the head, up to ";Data Source="
  QString odbc;      // what follows SERVER=...
};

// A chosen login survives the provider string and reaches the driver whole,
// whatever characters its password holds.
TEST(ConnectionStringTest, LoginsInBothForms) {
  const LoginCase cases[] = {
      {"fixed",
       {},
       "Provider=SQLOLEDB.1;Password=+-582417;Persist Security Info=True;User ID=tov;Initial Catalog=Velantrix",
       "DATABASE=Velantrix;UID=tov;PWD=+-582417"},
      {"fixed login, own catalog",
       {QString(), QString(), "Ventas2024", false},
       "Provider=SQLOLEDB.1;Password=+-582417;Persist Security Info=True;User ID=tov;Initial Catalog=Ventas2024",
       "DATABASE=Ventas2024;UID=tov;PWD=+-582417"},
      {"own login",
       {"corvex", "Xq7#pL", "Ventas", false},
       "Provider=SQLOLEDB.1;Password=Xq7#pL;Persist Security Info=False;User ID=corvex;Initial Catalog=Ventas",
       "DATABASE=Ventas;UID=corvex;PWD=Xq7#pL"},
      {"separators and quotes",
       {"corvex", " a;b\"c}d=e", "Ven;tas", false},
       "Provider=SQLOLEDB.1;Password=\" a;b\"\"c}d=e\";Persist Security Info=False;User ID=corvex;"
       "Initial Catalog=\"Ven;tas\"",
       "DATABASE={Ven;tas};UID=corvex;PWD={ a;b\"c}}d=e}"},
      {"leading quote",
       {"'o", "\"x", "V", false},
       "Provider=SQLOLEDB.1;Password=\"\"\"x\";Persist Security Info=False;User ID=\"'o\";Initial Catalog=V",
       "DATABASE=V;UID='o;PWD=\"x"},
      {"integrated",
       {QString(), QString(), "Ventas", true},
       "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Initial Catalog=Ventas",
       "DATABASE=Ventas;Trusted_Connection=Yes"},
  };
  for (const LoginCase& c : cases) {
    SCOPED_TRACE(c.name);
    const ConnectionString built = ConnectionString::forServer(QStringLiteral("db01,1433"), c.login);
    EXPECT_EQ(built.text(), c.provider + QStringLiteral(";Data Source=db01,1433;Network Library=dbmssocn"));
    const ConnectionString parsed(built.text());
    EXPECT_EQ(parsed.dataSource(), QStringLiteral("db01,1433"));
    EXPECT_EQ(parsed.isIntegrated(), c.login.integrated);
    EXPECT_EQ(parsed.odbcString(QStringLiteral("ODBC Driver 18 for SQL Server"), QString()),
              QStringLiteral("DRIVER={ODBC Driver 18 for SQL Server};SERVER=db01,1433;") + c.odbc);
  }
}

// Absolute paths begin at the system's root ("/" or a drive such as "C:/").
TEST(ConnectionStringTest, SqliteFilesRelativeToTheApplicationFolderOrAbsolute) {
  const QString root = QDir::rootPath();
  const AppFolder folder(root + QStringLiteral("opt/corvex/"));
  EXPECT_EQ(ConnectionString(providerString("sqlite:data/ventas.db")).sqlitePath(folder),
            root + QStringLiteral("opt/corvex/data/ventas.db"));
  const ConnectionString absolute(providerString("SQLite:" + root + "srv/v.db"));
  EXPECT_TRUE(absolute.isSqlite());
  EXPECT_EQ(absolute.sqlitePath(folder), root + QStringLiteral("srv/v.db"));
}

}  // namespace
}  // namespace corvex
