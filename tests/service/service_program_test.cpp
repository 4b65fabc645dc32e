#include "base/error.h"
#include "support/demo_setup.h"
#include "support/program.h"
#include "support/temp_app_dir.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

namespace corvex {
namespace {

using test::runProgram;
using test::TempAppDir;

const QStringList kFolders = test::demoRunFolders();

QProcessEnvironment headlessEnvironment() {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR", "QT_QPA_PLATFORM"})
    environment.remove(QString::fromLatin1(name));
  return environment;
}

// A service must not idle after a failed run: the view vanishes after start-up.
TEST(ServiceProgramTest, ExitOnErrorEndsTheProcessAfterAFailedRun) {
  TempAppDir dir(kFolders);
  test::writeDemoSetUp(dir, QStringLiteral("DROP VIEW vwDTECorvex;\n"));
  const auto run = runProgram(
      {QStringLiteral("--headless"), QStringLiteral("--exit-on-error"), QStringLiteral("--app-dir"), dir.path()}, 60000,
      headlessEnvironment());
  EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
  EXPECT_EQ(QString::fromUtf8(run.out).split(u'\n', Qt::SkipEmptyParts),
            (QStringList{QStringLiteral("Main"), QStringLiteral("Error")}));
  const QStringList log = dir.logLines();
  ASSERT_EQ(log.size(), 1);
  EXPECT_TRUE(log[0].contains(QStringLiteral(" - sendDTEbyMail=> "))) << log[0].toStdString();
  EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
}

// One line per run with documents; a pickup folder that vanished fails the
// first two mails, after which the run stops sending, so all stay pending.
TEST(ServiceProgramTest, RunWithDocumentsEndsWithASummaryLine) {
  const struct {
    const char* name;
    bool outbox;
    QString summary;
  } cases[] = {
      {"all mailed", true, QStringLiteral("sendDTEbyMail=> Run: 4 mailed, 0 failed, 0 still pending, ")},
      {"all failed", false, QStringLiteral("sendDTEbyMail=> Run: 0 mailed, 2 failed, 4 still pending, ")},
  };
  for (const auto& c : cases) {
    TempAppDir dir(kFolders);
    test::writeDemoSetUp(dir);
    if (!c.outbox) QDir(dir.filePath(QStringLiteral("outbox"))).removeRecursively();
    const auto run =
        runProgram({QStringLiteral("--once"), QStringLiteral("--app-dir"), dir.path()}, 60000, headlessEnvironment());
    EXPECT_EQ(run.exitCode, 0) << c.name;
    EXPECT_TRUE(run.err.isEmpty()) << c.name << ": " << run.err.toStdString();
    const QStringList log = dir.logLines();
    ASSERT_FALSE(log.isEmpty()) << c.name;
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^.{19} - ") + QRegularExpression::escape(c.summary) +
                                   QStringLiteral("\\d+\\.\\d seconds$"))
                    .match(log.last())
                    .hasMatch())
        << c.name << ": " << log.last().toStdString();
    EXPECT_EQ(log.filter(QStringLiteral("=> Run: ")).size(), 1) << c.name;
  }
}

TEST(ServiceProgramTest, HelpNamesTheProgram) {
  const auto help = runProgram({QStringLiteral("--help")}, 20000, headlessEnvironment());
  EXPECT_TRUE(help.out.startsWith("Usage: corvex ")) << help.out.toStdString();
  EXPECT_TRUE(help.out.contains("--exit-on-error"));
  EXPECT_TRUE(help.err.isEmpty()) << help.err.toStdString();
  EXPECT_EQ(runProgram({QStringLiteral("test-mail"), QStringLiteral("not an address")}).exitCode, 64);
}

// The troubleshooting guide explains exactly the numbers the program raises.
TEST(ServiceProgramTest, GuideExplainsEveryErrorNumber) {
  QFile readme(QStringLiteral(CORVEX_SOURCE_DIR "/docs/administrator.md"));
  ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(readme.readAll());
  const qsizetype start = text.indexOf(QStringLiteral("\n## Troubleshooting"));
  ASSERT_GE(start, 0);
  const QString section = text.mid(start, text.indexOf(QStringLiteral("\n## "), start + 1) - start);
  QSet<int> documented;
  static const QRegularExpression row(QStringLiteral("^\\| (-?\\d+) \\|"), QRegularExpression::MultilineOption);
  for (auto it = row.globalMatch(section); it.hasNext();) {
    const int number = it.next().captured(1).toInt();
    EXPECT_FALSE(documented.contains(number)) << "twice: " << number;
    documented.insert(number);
  }
  QSet<int> raised;
  for (const ErrorInfo& info : errorTable()) raised.insert(info.number);
  EXPECT_EQ(documented, raised);
}

}  // namespace
}  // namespace corvex
