#include "db/connection_target.h"

#include <gtest/gtest.h>

namespace corvex {
namespace {

QString providerString(const QString& server) {
  return QStringLiteral(
             "Provider=SQLOLEDB.1;Password=+-582417;Persist Security Info=True;User ID=tov;"
             "Initial Catalog=Velantrix;Data Source=") +
         server + QStringLiteral(";Network Library=dbmssocn");
}

struct OdbcCase {
  QString server;
  QString driver;
  QString expected;
};

TEST(ConnectionTargetTest, SqlServerThroughOdbc) {
  const QString login = QStringLiteral("DATABASE=Velantrix;UID=tov;PWD=+-582417");
  const QString tds = QStringLiteral(";TDS_Version=7.4;ClientCharset=UTF-8");
  const OdbcCase cases[] = {
      {"db01", "FreeTDS", "DRIVER={FreeTDS};SERVER=db01;PORT=1433;" + login + tds},
      {"db01,14330", "FreeTDS", "DRIVER={FreeTDS};SERVER=db01;PORT=14330;" + login + tds},
      {"db01\\VENTAS", "FreeTDS", "DRIVER={FreeTDS};SERVER=db01\\VENTAS;" + login + tds},
      {"db01,14330", "ODBC Driver 18 for SQL Server",
       "DRIVER={ODBC Driver 18 for SQL Server};SERVER=db01,14330;" + login},
      {"db01\\VENTAS", "SQL Server", "DRIVER={SQL Server};SERVER=db01\\VENTAS;" + login},
  };
  const AppFolder folder(QStringLiteral("/opt/corvex"));
  for (const auto& c : cases) {
    const ConnectionTarget target = translateConnectionString(providerString(c.server), folder, c.driver);
    EXPECT_EQ(target.kind, ConnectionTarget::Kind::Odbc);
    EXPECT_EQ(target.odbcString, c.expected);
  }
}

TEST(ConnectionTargetTest, ValuesWithSeparatorsAreBraced) {
  const ConnectionTarget target =
      translateConnectionString(QStringLiteral("User ID=a=b;Password=p}w{d;Initial Catalog=C;Data Source=h"),
                                AppFolder(QStringLiteral("/")), QStringLiteral("X"));
  EXPECT_EQ(target.odbcString, QStringLiteral("DRIVER={X};SERVER=h;DATABASE=C;UID={a=b};PWD={p}}w{d}"));
}

TEST(ConnectionTargetTest, SqliteFilesRelativeToTheApplicationFolderOrAbsolute) {
  const AppFolder folder(QStringLiteral("/opt/corvex/"));
  EXPECT_EQ(translateConnectionString(providerString("sqlite:data/ventas.db"), folder, "FreeTDS").sqlitePath,
            QStringLiteral("/opt/corvex/data/ventas.db"));
  const ConnectionTarget absolute = translateConnectionString(providerString("SQLite:/srv/v.db"), folder, "FreeTDS");
  EXPECT_EQ(absolute.kind, ConnectionTarget::Kind::Sqlite);
  EXPECT_EQ(absolute.sqlitePath, QStringLiteral("/srv/v.db"));
}

}  // namespace
}  // namespace corvex
