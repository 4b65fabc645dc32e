#include "demo/demo_database.h"
#include "support/temp_app_dir.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <csignal>

namespace corvex {
namespace {

using test::TempAppDir;

// Without a display the same loop runs and prints each caption on a line.
TEST(HeadlessProgramTest, PrintsMainThenEachRunAndEndsOnSigterm) {
  TempAppDir dir({QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr")});
  dir.writeFile(QStringLiteral("main.ini"), "[DB]\r\ncString=sqlite:ventas.db\r\n");
  buildDemoDatabase(dir.filePath(QStringLiteral("ventas.db")), DemoContent::SchemaOnly);
  QProcess program;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove(QStringLiteral("DISPLAY"));
  environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
  program.setProcessEnvironment(environment);
  program.start(QStringLiteral(CORVEX_BINARY), {QStringLiteral("--app-dir"), dir.path()});
  ASSERT_TRUE(program.waitForStarted(10000));

  // Two runs, five seconds apart after the first five; bounded at 60 s.
  QString out;
  QElapsedTimer waited;
  waited.start();
  while (out.count(QStringLiteral("Last Run: ")) < 2 && waited.elapsed() < 60000) {
    program.waitForReadyRead(1000);
    out += QString::fromUtf8(program.readAllStandardOutput());
  }
  ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
  const bool ended = program.waitForFinished(20000);
  if (!ended) program.kill();
  EXPECT_TRUE(ended);
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0);
  const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  ASSERT_GE(lines.size(), 3) << out.toStdString();
  EXPECT_EQ(lines[0], QStringLiteral("Main"));
  const QRegularExpression lastRun(QStringLiteral("^Last Run: \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
  for (qsizetype i = 1; i < lines.size(); ++i)
    EXPECT_TRUE(lastRun.match(lines[i]).hasMatch()) << lines[i].toStdString();
  EXPECT_TRUE(dir.logLines().isEmpty());
}

// A display that is named but cannot be opened (no server behind it) is no
// display: the program runs headless instead of aborting in the toolkit.
TEST(HeadlessProgramTest, DisplayThatCannotBeOpenedMeansHeadless) {
  TempAppDir dir({QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr")});
  dir.writeFile(QStringLiteral("main.ini"), "[DB]\r\ncString=sqlite:ventas.db\r\n");
  buildDemoDatabase(dir.filePath(QStringLiteral("ventas.db")), DemoContent::SchemaOnly);
  QProcess program;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":4711"));
  environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
  environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
  program.setProcessEnvironment(environment);
  program.start(QStringLiteral(CORVEX_BINARY), {QStringLiteral("--app-dir"), dir.path()});
  ASSERT_TRUE(program.waitForStarted(10000));
  QString out;
  QElapsedTimer waited;
  waited.start();
  while (!out.contains(QStringLiteral("Main\n")) && waited.elapsed() < 30000 && program.state() == QProcess::Running) {
    program.waitForReadyRead(1000);
    out += QString::fromUtf8(program.readAllStandardOutput());
  }
  EXPECT_EQ(out, QStringLiteral("Main\n"));
  ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
  const bool ended = program.waitForFinished(20000);
  if (!ended) program.kill();
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0);
  EXPECT_TRUE(program.readAllStandardError().contains("running without a window"));
}

}  // namespace
}  // namespace corvex
