#include "base/error.h"
#include "db/connection.h"
#include "db/session_pool.h"
#include "support/poll.h"
#include "support/tds_peer.h"
#include "support/temp_app_dir.h"

#include <gtest/gtest.h>

// Values through the FreeTDS driver from the TDS test server, compared with
// what the SQLite file holds: every value whole, whatever its type and length.

namespace corvex {
namespace {

struct ValueCase {
  const char* type;
  QString text;
};

constexpr int kReleaseTimeoutMs = 20000;

QString repeated(const QString& piece, int times) { return piece.repeated(times); }

TEST(OdbcValuesTest, TextOfAnyLengthArrivesWhole) {
  const QString accented = QStringLiteral("ñÁé");
  const QString wide = QStringLiteral("李Ω😀");  // the last needs two UTF-16 units
  const ValueCase cases[] = {
      {"nvarchar(200)", repeated(accented, 60)},
      {"nvarchar(4000)", repeated(wide, 1000)},
      {"nvarchar(max)", QString()},
      {"nvarchar(max)", repeated(wide, 1)},
      {"nvarchar(max)", repeated(wide, 8191)},
      {"nvarchar(max)", repeated(wide + accented, 40000)},
      {"varchar(max)", repeated(accented, 30000)},
      {"ntext", repeated(wide, 50000)},
      {"text", repeated(QStringLiteral("a"), 70000)},
  };
  test::TempAppDir dir;
  dir.createSqlite(QStringLiteral("v.db"), QStringLiteral("CREATE TABLE v (id INTEGER, value TEXT);\n"));
  for (int i = 0; i < int(std::size(cases)); ++i)
    dir.querySqlite(QStringLiteral("v.db"), QStringLiteral("INSERT INTO v VALUES (%1, '%2')")
                                                .arg(i)
                                                .arg(QString(cases[i].text).replace(QLatin1Char('\''), "''")));
  for (int i = 0; i < int(std::size(cases)); ++i) {
    SCOPED_TRACE(cases[i].type);
    test::TdsPeerOptions options;
    options.types = QStringList{QStringLiteral("value=") + QString::fromLatin1(cases[i].type)};
    test::TdsPeer peer(dir.filePath(QStringLiteral("v.db")), options);
    Connection connection(DbEnvironment(dir.folder(), QStringLiteral("FreeTDS")));
    connection.open(ConnectionString::forServer(peer.server()));
    const auto rows = connection.execute(QStringLiteral("SELECT value FROM v WHERE id = %1").arg(i));
    ASSERT_FALSE(rows->eof());
    const QString value = rows->field(QStringLiteral("value")).toText();
    EXPECT_EQ(value.size(), cases[i].text.size());
    EXPECT_TRUE(value == cases[i].text);
  }
}

TEST(OdbcValuesTest, NullsAndNumbersAsOnSqlite) {
  test::TempAppDir dir;
  dir.createSqlite(
      QStringLiteral("v.db"),
      QStringLiteral("CREATE TABLE v (m, d, b, t, n, x, p);\n"
                     "INSERT INTO v VALUES (1234.5678, 0.1, 1, '2024-03-05 14:07:09', NULL, NULL, NULL);\n"));
  test::TdsPeerOptions options;
  options.types =
      QStringList{"m=money", "d=decimal(18,4)", "b=bit", "t=datetime", "n=nvarchar(max)", "x=int", "p=varbinary(max)"};
  test::TdsPeer peer(dir.filePath(QStringLiteral("v.db")), options);
  Connection connection(DbEnvironment(dir.folder(), QStringLiteral("FreeTDS")));
  connection.open(ConnectionString::forServer(peer.server()));
  const auto rows = connection.execute(QStringLiteral("SELECT * FROM v"));
  EXPECT_EQ(rows->field(QStringLiteral("m")).toText(), QStringLiteral("1234.5678"));
  EXPECT_EQ(rows->field(QStringLiteral("d")).toText(), QStringLiteral("0.1"));
  EXPECT_EQ(rows->field(QStringLiteral("b")).toText(), QStringLiteral("1"));
  EXPECT_EQ(rows->field(QStringLiteral("t")).toText(), QStringLiteral("2024-03-05 14:07:09"));
  for (const char* column : {"n", "x", "p"}) EXPECT_TRUE(rows->field(QString::fromLatin1(column)).isNull()) << column;
}

TEST(OdbcValuesTest, ClosedConnectionsKeepTheirSessionForTheNextOpen) {
  test::TempAppDir dir;
  dir.createSqlite(QStringLiteral("v.db"), QStringLiteral("CREATE TABLE v (a);\n"));
  test::TdsPeer peer(dir.filePath(QStringLiteral("v.db")));
  DbEnvironment environment(dir.folder(), QStringLiteral("FreeTDS"));
  environment.sessions = std::make_shared<SessionPool>();
  Connection outer(environment);
  outer.open(ConnectionString::forServer(peer.server()));
  for (int unit = 0; unit < 5; ++unit) {
    Connection inner(environment);
    inner.open(ConnectionString::forServer(peer.server()));
    inner.execute(QStringLiteral("SELECT a FROM v"));
    inner.close();
  }
  outer.execute(QStringLiteral("SELECT a FROM v"));
  EXPECT_EQ(peer.stats().value(QStringLiteral("logins")).toInt(), 2);
  // A session discarded (one that may still hold a lock) is never kept.
  Connection discarded(environment);
  discarded.open(ConnectionString::forServer(peer.server()));
  discarded.discardSession();
  Connection next(environment);
  next.open(ConnectionString::forServer(peer.server()));
  next.execute(QStringLiteral("SELECT a FROM v"));
  EXPECT_EQ(peer.stats().value(QStringLiteral("logins")).toInt(), 3);
}

// The test server's application lock belongs to the session that took it,
// as SQL Server's sp_getapplock with @LockOwner = 'Session' does.
TEST(OdbcValuesTest, ApplicationLockBelongsToOneSessionUntilReleasedOrClosed) {
  const QString acquire = QStringLiteral(
      "DECLARE @result int; EXEC @result = sp_getapplock @Resource = 'Corvex dispatch', @LockMode = 'Exclusive', "
      "@LockOwner = 'Session', @LockTimeout = 0; SELECT @result AS result");
  const QString release =
      QStringLiteral("EXEC sp_releaseapplock @Resource = 'Corvex dispatch', @LockOwner = 'Session'");
  test::TempAppDir dir;
  dir.createSqlite(QStringLiteral("v.db"), QStringLiteral("CREATE TABLE v (a);\n"));
  test::TdsPeer peer(dir.filePath(QStringLiteral("v.db")));
  const auto connect = [&] {
    auto connection = std::make_unique<Connection>(DbEnvironment(dir.folder(), QStringLiteral("FreeTDS")));
    connection->open(ConnectionString::forServer(peer.server()));
    return connection;
  };
  const auto result = [&](Connection& connection) {
    return connection.execute(acquire)->field(QStringLiteral("result")).toInt32();
  };
  auto first = connect();
  auto second = connect();
  EXPECT_EQ(result(*first), 0);
  EXPECT_EQ(result(*first), 0);
  EXPECT_EQ(result(*second), -1);
  first->execute(release);
  EXPECT_EQ(result(*second), 0);
  EXPECT_THROW(first->execute(release), Error);
  // The server frees a closed session's locks once it notices the close, a
  // moment after the client let go, as SQL Server does.
  second.reset();
  EXPECT_TRUE(test::pollUntil([&] { return result(*first) == 0; }, kReleaseTimeoutMs));
}

}  // namespace
}  // namespace corvex
