#include "demo/demo_database.h"
#include "support/temp_app_dir.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

namespace corvex {
namespace {

using test::TempAppDir;

// An Application folder with an empty view, and the real program on it.
class HeadlessProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.writeFile(QStringLiteral("main.ini"), "[DB]\r\ncString=sqlite:ventas.db\r\n");
    buildDemoDatabase(dir.filePath(QStringLiteral("ventas.db")), DemoContent::SchemaOnly);
  }

  // Starts the program with the system's environment changed by `change`.
  void start(const std::function<void(QProcessEnvironment&)>& change) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    change(environment);
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(CORVEX_BINARY), {QStringLiteral("--app-dir"), dir.path()});
  }

  // Standard output until `enough` holds for it, the program ends or
  // `milliseconds` pass.
  QString readUntil(const std::function<bool(const QString&)>& enough, int milliseconds) {
    QString out;
    QElapsedTimer waited;
    waited.start();
    while (!enough(out) && waited.elapsed() < milliseconds && program.state() == QProcess::Running) {
      program.waitForReadyRead(1000);
      out += QString::fromUtf8(program.readAllStandardOutput());
    }
    return out;
  }

  // SIGTERM, then up to 20 s for the end; killed after that. True when it
  // ended by itself.
  bool stop() {
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    const bool ended = program.waitForFinished(20000);
    if (!ended) program.kill();
    return ended;
  }

  TempAppDir dir{{QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr")}};
  QProcess program;
};

// Without a display the same loop runs and prints each caption on a line.
TEST_F(HeadlessProgramTest, PrintsMainThenEachRunAndEndsOnSigterm) {
  start([](QProcessEnvironment& environment) { environment.remove(QStringLiteral("DISPLAY")); });
  ASSERT_TRUE(program.waitForStarted(10000));

  // Two runs, five seconds apart after the first five; bounded at 60 s.
  const QString out = readUntil([](const QString& out) { return out.count(QStringLiteral("Last Run: ")) >= 2; }, 60000);
  EXPECT_TRUE(stop());
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
TEST_F(HeadlessProgramTest, DisplayThatCannotBeOpenedMeansHeadless) {
  start([](QProcessEnvironment& environment) {
    environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":4711"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
  });
  ASSERT_TRUE(program.waitForStarted(10000));
  const QString out = readUntil([](const QString& out) { return out.contains(QStringLiteral("Main\n")); }, 30000);
  EXPECT_EQ(out, QStringLiteral("Main\n"));
  stop();
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0);
  EXPECT_TRUE(program.readAllStandardError().contains("running without a window"));
}

}  // namespace
}  // namespace corvex
