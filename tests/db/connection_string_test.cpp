#include "db/connection_string.h"

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
  const ConnectionString parsed(QStringLiteral("User ID=a=b;Password=p}w{d;Initial Catalog=C;Data Source=h"));
  EXPECT_EQ(parsed.odbcString(QStringLiteral("X"), QString()),
            QStringLiteral("DRIVER={X};SERVER=h;DATABASE=C;UID={a=b};PWD={p}}w{d}"));
}

TEST(ConnectionStringTest, SqliteFilesRelativeToTheApplicationFolderOrAbsolute) {
  const AppFolder folder(QStringLiteral("/opt/corvex/"));
  EXPECT_EQ(ConnectionString(providerString("sqlite:data/ventas.db")).sqlitePath(folder),
            QStringLiteral("/opt/corvex/data/ventas.db"));
  const ConnectionString absolute(providerString("SQLite:/srv/v.db"));
  EXPECT_TRUE(absolute.isSqlite());
  EXPECT_EQ(absolute.sqlitePath(folder), QStringLiteral("/srv/v.db"));
}

}  // namespace
}  // namespace corvex
