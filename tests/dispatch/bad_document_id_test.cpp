#include "demo/demo_database.h"
#include "support/delivery_check.h"
#include "support/program.h"
#include "support/temp_app_dir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

namespace corvex {
namespace {

using test::TempAppDir;

constexpr int kRunTimeoutMs = 60000;

// Values of IdDocumento that name no file inside files/ on one system or
// another: devices, paths, the characters Windows refuses, folders.
const char* const kBadIds[] = {
    "NUL.x", "CON",  "com1.json", "LPT9", "conin$", "a/b",  "../main", "a\\b", "C:x", "a<b",
    "a>b",   "a\"b", "a|b",       "a?b",  "a*b",    "a\tb", "",        ".",    "..",
};

class BadDocumentIdTest : public ::testing::TestWithParam<const char*> {
 protected:
  // The demo's four documents, mailed into the pickup folder; FA-1251
  // carries `id`.
  void build(const QString& id) {
    buildDemoDatabase(dir.filePath(QStringLiteral("v.db")));
    dir.writeFile(QStringLiteral("main.ini"), "[DB]\r\ncString=sqlite:v.db\r\n");
    QString quoted = id;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    dir.querySqlite(QStringLiteral("v.db"),
                    QStringLiteral("UPDATE FACTURAS_ENC SET IDDOCUMENTO = '%1' WHERE NUMERO = 1251").arg(quoted));
  }

  QStringList messages() const {
    const QDir outbox(dir.filePath(QStringLiteral("outbox")));
    QStringList paths;
    for (const QString& name : outbox.entryList({QStringLiteral("*.eml")}, QDir::Files)) paths << outbox.filePath(name);
    return paths;
  }

  // The other three went out once, FA-1251 is still pending.
  void expectOnlyTheBadOnePending() const {
    QStringList pending;
    EXPECT_EQ(test::brokenPromises(dir, QStringLiteral("v.db"), messages(), &pending), QStringList());
    EXPECT_EQ(pending, QStringList{QStringLiteral("FA-1251")});
    EXPECT_EQ(messages().size(), 3);
  }

  QStringList badIdLines() const { return dir.logLines().filter(QStringLiteral("cannot name a file")); }

  TempAppDir dir{{QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr"), QStringLiteral("outbox")}};
};

// The run ends normally, the bad row logged once under its own label.
TEST_P(BadDocumentIdTest, FailsThatDocumentAlone) {
  build(QString::fromUtf8(GetParam()));
  const test::ProgramRun run =
      test::runProgram({QStringLiteral("--once"), QStringLiteral("--app-dir"), dir.path()}, kRunTimeoutMs);
  EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
  expectOnlyTheBadOnePending();
  const QStringList lines = badIdLines();
  ASSERT_EQ(lines.size(), 1) << dir.logLines().join('\n').toStdString();
  EXPECT_TRUE(lines.first().contains(QStringLiteral("FA-1251"))) << lines.first().toStdString();
  EXPECT_EQ(QDir(dir.filePath(QStringLiteral("files"))).entryList(QDir::Files), QStringList());
}

INSTANTIATE_TEST_SUITE_P(Ids, BadDocumentIdTest, ::testing::ValuesIn(kBadIds));

// Polled every 5 s, the same bad row is logged once, not on every run, and
// dispatching goes on.
TEST_F(BadDocumentIdTest, IsLoggedOnceOverRepeatedRuns) {
  build(QStringLiteral("NUL.x"));
  QProcess program;
  program.start(QStringLiteral(CORVEX_BINARY), {QStringLiteral("--headless"), QStringLiteral("--app-dir"), dir.path()});
  QByteArray out;
  QElapsedTimer polled;
  polled.start();
  while (out.count("Last Run: ") < 3 && polled.elapsed() < kRunTimeoutMs && program.state() != QProcess::NotRunning) {
    program.waitForReadyRead(500);
    out += program.readAllStandardOutput();
  }
  program.terminate();
  program.waitForFinished(10000);
  EXPECT_GE(out.count("Last Run: "), 3) << out.toStdString();
  expectOnlyTheBadOnePending();
  EXPECT_EQ(badIdLines().size(), 1) << dir.logLines().join('\n').toStdString();
}

}  // namespace
}  // namespace corvex
