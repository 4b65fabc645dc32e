#include "support/program.h"
#include "demo/demo_database.h"
#include "support/temp_app_dir.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace corvex {
namespace {

using test::runProgram;
using test::TempAppDir;

TEST(ProgramTest, OnceOnAnEmptyViewShowsMainThenTheTimeOfTheRun) {
  TempAppDir dir({QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr")});
  dir.writeFile(QStringLiteral("main.ini"), "[DB]\r\ncString=sqlite:ventas.db\r\n");
  buildDemoDatabase(dir.filePath(QStringLiteral("ventas.db")), DemoContent::SchemaOnly);
  const auto run = runProgram({QStringLiteral("--once"), QStringLiteral("--app-dir"), dir.path()});
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  const QStringList lines = QString::fromUtf8(run.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 2) << run.out.toStdString();
  EXPECT_EQ(lines[0], QStringLiteral("Main"));
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^Last Run: \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"))
                  .match(lines[1])
                  .hasMatch())
      << lines[1].toStdString();
  EXPECT_TRUE(dir.logLines().isEmpty());
  EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("files"))).isEmpty());
}

struct FailureCase {
  const char* name;
  QByteArray ini;
  const char* port;  // nullptr: no database file at all
  QString stderrPart;
  QString firstLogLine;
};

TEST(ProgramTest, StartupFailuresExitWithStatus2) {
  const FailureCase cases[] = {
      {"missing database", "[DB]\ncString=sqlite:ventas.db\n", nullptr, "error 3704: ", "OpenConnection=> "},
      {"no main.ini section", "[Other]\ncString=sqlite:ventas.db\n", "587", "error ", "OpenConnection=> "},
      {"port abc", "[DB]\ncString=sqlite:ventas.db\n", "abc", "error 13: Type mismatch", ""},
      {"port 40000", "[DB]\ncString=sqlite:ventas.db\n", "40000", "error 6: Overflow", ""},
      {"unreachable server", "[DB]\ncString=127.0.0.1,1\n", nullptr, "error 3704: ", "OpenConnection=> "},
  };
  for (const FailureCase& c : cases) {
    TempAppDir dir;
    dir.writeFile(QStringLiteral("main.ini"), c.ini);
    if (c.port)
      dir.createSqlite(QStringLiteral("ventas.db"),
                       QStringLiteral("CREATE TABLE Parametros (Parametro TEXT, Valor);\n"
                                      "INSERT INTO Parametros VALUES ('sysSMTPPort', '%1');\n")
                           .arg(QString::fromLatin1(c.port)));
    const auto run = runProgram({QStringLiteral("--app-dir"), dir.path()}, 20000);
    EXPECT_EQ(run.exitCode, 2) << c.name;
    EXPECT_TRUE(QString::fromUtf8(run.err).contains(c.stderrPart)) << c.name << ": " << run.err.toStdString();
    const QStringList lines = dir.logLines();
    if (c.firstLogLine.isEmpty()) {
      EXPECT_TRUE(lines.isEmpty()) << c.name;
    } else {
      ASSERT_EQ(lines.size(), 1) << c.name;
      EXPECT_EQ(lines[0].mid(19, 3 + c.firstLogLine.size()), QStringLiteral(" - ") + c.firstLogLine) << c.name;
    }
    EXPECT_FALSE(dir.exists(QStringLiteral("ventas.db")) && !c.port) << c.name;
  }
}

TEST(ProgramTest, RefusesUnknownArguments) {
  EXPECT_EQ(runProgram({QStringLiteral("--bogus")}).exitCode, 64);
  EXPECT_EQ(runProgram({QStringLiteral("extra")}).exitCode, 64);
  const auto help = runProgram({QStringLiteral("--help")});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(help.out.contains("--app-dir"));
}

TEST(ProgramTest, RenderWritesOneDocumentAndPrintsItsPath) {
  TempAppDir dir({QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr")});
  dir.writeFile(QStringLiteral("main.ini"), "[DB]\r\ncString=sqlite:ventas.db\r\n");
  buildDemoDatabase(dir.filePath(QStringLiteral("ventas.db")));
  const auto rendered = runProgram({QStringLiteral("render"), QStringLiteral("credito-fiscal"), QStringLiteral("CF"),
                                    QStringLiteral("318"), QStringLiteral("--app-dir"), dir.path()});
  EXPECT_EQ(rendered.exitCode, 0) << rendered.err.toStdString();
  const QString path = QString::fromUtf8(rendered.out).trimmed();
  EXPECT_TRUE(path.startsWith(dir.filePath(QStringLiteral("files/")))) << path.toStdString();
  EXPECT_TRUE(path.endsWith(QStringLiteral(".pdf")));
  EXPECT_TRUE(QFile::exists(path));

  const auto missing = runProgram({QStringLiteral("render"), QStringLiteral("factura"), QStringLiteral("FA"),
                                   QStringLiteral("-7"), QStringLiteral("--app-dir"), dir.path()});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_TRUE(missing.err.contains("corvex: error 3021: ")) << missing.err.toStdString();
  EXPECT_TRUE(dir.logLines().isEmpty());
}

}  // namespace
}  // namespace corvex
