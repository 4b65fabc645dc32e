#include "db/database.h"

#include "base/error.h"
#include "db/parameters.h"
#include "support/expected_error.h"
#include "support/fixed_clock.h"
#include "support/temp_app_dir.h"

#include <QSqlDatabase>

#include <gtest/gtest.h>

namespace corvex {
namespace {

using test::FixedClock;
using test::localTime;
using test::TempAppDir;

const QString kSchema = QStringLiteral(
    "CREATE TABLE Parametros (Parametro TEXT, Valor);\n"
    "INSERT INTO Parametros VALUES ('sysEmail', 'ventas@example.com');\n"
    "INSERT INTO Parametros VALUES ('sysWeb', NULL);\n"
    "INSERT INTO Parametros VALUES ('sysSMTPUser', '');\n"
    "INSERT INTO Parametros VALUES ('sysSMTPPort', 587);\n"
    "INSERT INTO Parametros VALUES ('FESVAmbiente', '01');\n"
    "INSERT INTO Parametros VALUES ('FESVAmbiente', '00');\n"
    "CREATE TABLE docs (serie TEXT, numero INTEGER, enviada INTEGER);\n"
    "INSERT INTO docs VALUES ('A', 1, 0);\n"
    "INSERT INTO docs VALUES ('A', 2, 0);\n"
    "INSERT INTO docs VALUES ('B', -7, 0);\n"
    "CREATE TABLE procedures (name TEXT PRIMARY KEY, body TEXT);\n"
    "INSERT INTO procedures VALUES ('getDoc', 'SELECT serie, numero FROM docs WHERE serie = @Serie AND numero = "
    "@Numero');\n");

class DatabaseTest : public ::testing::Test {
 protected:
  explicit DatabaseTest(const QString& dataSource = QStringLiteral("sqlite:ventas.db")) {
    if (dataSource.endsWith(QStringLiteral("ventas.db"))) dir.createSqlite(QStringLiteral("ventas.db"), kSchema);
    database = std::make_unique<Database>(QStringLiteral("Data Source=") + dataSource,
                                          DbEnvironment{dir.folder(), QStringLiteral("FreeTDS")}, log);
  }

  TempAppDir dir;
  FixedClock clock{localTime(2026, 12, 7, 8, 0, 0)};
  DailyLog log{dir.folder(), clock};
  std::unique_ptr<Database> database;
};

TEST_F(DatabaseTest, GetParameterValues) {
  const std::pair<QString, QString> cases[] = {
      {"sysEmail", "ventas@example.com"},
      {"sysWeb", ""},
      {"sysSMTPUser", ""},
      {"sysSMTPPort", "587"},
      {"FESVAmbiente", "01"},
      {"sysSMTPFrom", ""},
  };
  for (const auto& [name, value] : cases) EXPECT_EQ(GetParameter(*database, name), value) << name.toStdString();
  EXPECT_FALSE(database->hasDbConnection());
  EXPECT_TRUE(dir.logLines().isEmpty());
}

TEST_F(DatabaseTest, RecordSetOnDbConnection2SurvivesWorkOnBothConnections) {
  database->OpenConnection2(QString(), 0);
  auto pending = database->DbConnection2().execute(QStringLiteral("SELECT serie, numero FROM docs ORDER BY numero"));
  QStringList seen;
  while (!pending->eof()) {
    EXPECT_EQ(GetParameter(*database, QStringLiteral("FESVAmbiente")), QStringLiteral("01"));
    const QString number = pending->field(QStringLiteral("NUMERO")).toText();
    database->DbConnection2().execute(QStringLiteral("UPDATE docs SET enviada = 1 WHERE numero = ") + number);
    seen << pending->field(QStringLiteral("Serie")).toText() + number;
    pending->moveNext();
  }
  database->CloseConnection2();
  EXPECT_EQ(seen, (QStringList{"B-7", "A1", "A2"}));
  EXPECT_EQ(dir.querySqlite(QStringLiteral("ventas.db"), QStringLiteral("SELECT SUM(enviada) FROM docs")),
            QStringList{"3"});
  EXPECT_TRUE(dir.logLines().isEmpty());
}

TEST_F(DatabaseTest, ReopeningReplacesAndClosesTheFormerConnection) {
  database->OpenConnection(QString(), 0);
  Connection* first = &database->DbConnection();
  EXPECT_TRUE(first->isOpen());
  database->OpenConnection(QStringLiteral("s"), 0);
  EXPECT_EQ(database->DbConnection().cursorLocation(), Connection::kClientSideCursors);
  database->OpenConnection(QStringLiteral("S"), 0);
  EXPECT_EQ(database->DbConnection().cursorLocation(), Connection::kServerSideCursors);
  EXPECT_EQ(QSqlDatabase::connectionNames().size(), 1);
  database->CloseConnection();
  EXPECT_TRUE(QSqlDatabase::connectionNames().isEmpty());
}

TEST_F(DatabaseTest, SqliteProceduresRunWithTheirArguments) {
  database->OpenConnection(QString(), 0);
  auto rows = database->DbConnection().execute(QStringLiteral("EXEC getDoc @Serie='B', @Numero=-7"));
  ASSERT_FALSE(rows->eof());
  EXPECT_EQ(rows->field(QStringLiteral("numero")).toInt32(), -7);
  rows->moveNext();
  EXPECT_TRUE(rows->eof());
  const auto quoted =
      database->DbConnection().execute(QStringLiteral("EXEC getDoc @Serie='A'' OR ''1''=''1', @Numero=1"));
  EXPECT_TRUE(quoted->eof());
  const auto error =
      test::raisedError([&] { database->DbConnection().execute(QStringLiteral("EXEC nowhere @A = 1")); });
  ASSERT_TRUE(error) << "no error";
  EXPECT_EQ(error->description(), QStringLiteral("Could not find stored procedure 'nowhere'."));
}

class MissingDatabaseTest : public DatabaseTest {
 protected:
  MissingDatabaseTest() : DatabaseTest(QStringLiteral("sqlite:absent.db")) {}
};

TEST_F(MissingDatabaseTest, GetParameterLogsTheOpenThenRaisesAndCreatesNothing) {
  EXPECT_THROW(GetParameter(*database, QStringLiteral("sysEmail")), Error);
  const QStringList lines = dir.logLines();
  ASSERT_EQ(lines.size(), 1);
  EXPECT_TRUE(lines[0].startsWith(QStringLiteral("2026-12-07 08:00:00 - OpenConnection=> "))) << lines[0].toStdString();
  EXPECT_TRUE(lines[0].contains(QStringLiteral("absent.db")));
  EXPECT_FALSE(dir.exists(QStringLiteral("absent.db")));
  // The lookup skipped its own close: the failed connection stays in the slot.
  EXPECT_TRUE(database->hasDbConnection());
}

TEST_F(MissingDatabaseTest, CloseAfterAFailedOpenLogsOnceAndEmptiesTheSlot) {
  database->OpenConnection2(QString(), 0);
  database->CloseConnection2();
  EXPECT_FALSE(database->hasDbConnection2());
  const QStringList lines = dir.logLines();
  ASSERT_EQ(lines.size(), 2);
  EXPECT_TRUE(lines[0].contains(QStringLiteral(" - OpenConnection2=> Cannot open database")));
  EXPECT_EQ(lines[1], QStringLiteral("2026-12-07 08:00:00 - CloseConnection2=> Operation is not allowed when the "
                                     "object is closed."));
  database->CloseConnection2();
  EXPECT_TRUE(
      dir.logLines().last().endsWith(QStringLiteral("CloseConnection2=> Object variable or With block "
                                                    "variable not set")));
}

class UnreachableServerTest : public DatabaseTest {
 protected:
  // Port 1 on loopback: nothing listens there, so the connect is refused at once.
  UnreachableServerTest() : DatabaseTest(QStringLiteral("127.0.0.1,1")) {}
};

TEST_F(UnreachableServerTest, OpenIsLoggedAndTheFirstStatementFails) {
  EXPECT_THROW(GetParameter(*database, QStringLiteral("sysEmail")), Error);
  const QStringList lines = dir.logLines();
  ASSERT_EQ(lines.size(), 1);
  EXPECT_TRUE(lines[0].contains(QStringLiteral("OpenConnection=> "))) << lines[0].toStdString();
}

}  // namespace
}  // namespace corvex
