#include "demo/demo_database.h"
#include "startup/application.h"
#include "support/delivery_check.h"
#include "support/faulty_file_system.h"
#include "support/fixed_clock.h"
#include "support/temp_app_dir.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace corvex {
namespace {

using test::FaultyFileSystem;
using test::FixedClock;
using test::TempAppDir;
using Operation = FaultyFileSystem::Operation;

class NoDisplay : public StatusDisplay {
 public:
  void setCaption(const QString&) override {}
};

struct WriteFault {
  Operation operation;
  int nth;
};

// One dispatch run over the four demo documents (mailed into the pickup
// folder) in which the Nth call of one file operation fails.
class DispatchFaultsTest : public ::testing::TestWithParam<WriteFault> {
 protected:
  void SetUp() override {
    buildDemoDatabase(dir.filePath(QStringLiteral("v.db")));
    dir.writeFile(QStringLiteral("main.ini"), "[DB]\r\ncString=sqlite:v.db\r\n");
    app.Main();
    app.Form_Load();
  }

  bool runOnce() {
    DispatchRun run = app.dispatchRun(display);
    return run.sendDTEbyMail();
  }

  QStringList messages() const {
    const QDir outbox(dir.filePath(QStringLiteral("outbox")));
    QStringList paths;
    for (const QString& name : outbox.entryList({QStringLiteral("*.eml")}, QDir::Files)) paths << outbox.filePath(name);
    return paths;
  }

  TempAppDir dir{{QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr"), QStringLiteral("outbox")}};
  FixedClock clock{test::localTime(2026, 12, 7)};
  FaultyFileSystem files;
  Application app{dir.folder(), clock, files};
  NoDisplay display;
};

// Whatever write fails, each document is mailed once and marked or still
// pending, the failure is logged with the system's reason, and the next run
// mails exactly what is left.
TEST_P(DispatchFaultsTest, NoDocumentIsLostOrMailedTwice) {
  files.failAt(GetParam().operation, GetParam().nth, std::errc::no_space_on_device);
  runOnce();
  QStringList pending;
  EXPECT_EQ(test::brokenPromises(dir, QStringLiteral("v.db"), messages(), &pending), QStringList());
  EXPECT_FALSE(pending.isEmpty()) << "the fault changed nothing";
  EXPECT_TRUE(dir.logLines().filter(QStringLiteral("No space left on device")).size() == 1)
      << dir.logLines().join('\n').toStdString();

  files.failAt(Operation::Create, 0, std::errc::io_error);
  EXPECT_TRUE(runOnce()) << dir.logLines().join('\n').toStdString();
  pending.clear();
  EXPECT_EQ(test::brokenPromises(dir, QStringLiteral("v.db"), messages(), &pending), QStringList());
  EXPECT_EQ(pending, QStringList());
  EXPECT_EQ(messages().size(), 4);
}

// A virus scanner holds a mailed document's JSON: the run goes on and ends
// normally, the failure is logged once, and the file goes as soon as it is
// let go, at the next run's start.
TEST_F(DispatchFaultsTest, AFailedRemovalAfterTheMailIsTriedAgainAndStopsNothing) {
  const QString json =
      dir.filePath(QStringLiteral("files/%1.json")
                       .arg(dir.querySqlite(QStringLiteral("v.db"),
                                            QStringLiteral("SELECT IDDOCUMENTO FROM FACTURAS_ENC WHERE NUMERO = 1251"))
                                .value(0)));
  // Its first removal comes before it is written.
  files.holdFile(json, 1);
  DispatchRun run = app.dispatchRun(display);
  EXPECT_TRUE(run.sendDTEbyMail()) << dir.logLines().join('\n').toStdString();
  EXPECT_EQ(messages().size(), 4);
  EXPECT_EQ(dir.logLines().filter(QStringLiteral("Device or resource busy")).size(), 1)
      << dir.logLines().join('\n').toStdString();
  EXPECT_TRUE(QFile::exists(json));
  files.holdFile(QString(), 0);
  EXPECT_TRUE(run.sendDTEbyMail());
  EXPECT_FALSE(QFile::exists(json));
  EXPECT_EQ(dir.logLines().filter(QStringLiteral("Removed at last")).size(), 1);
  EXPECT_EQ(test::brokenPromises(dir, QStringLiteral("v.db"), messages()), QStringList());
}

// A stop asked for while the run reads ahead comes before any further send.
TEST_F(DispatchFaultsTest, AStopAskedDuringTheReadAheadMailsNothingMore) {
  int asked = 0;
  DispatchRun run = app.dispatchRun(display, [&asked] { return ++asked > 1; });
  EXPECT_TRUE(run.sendDTEbyMail());
  EXPECT_EQ(messages().size(), 0);
  EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("files"))).isEmpty());
}

// Four documents write three files each (JSON, QR picture, PDF): each kind
// of write fails once, for the first and for later documents; then
// creations, renames, and removals before the files are written (3: the old
// QR picture) and after the mail (4: the document is already marked).
std::vector<WriteFault> faults() {
  std::vector<WriteFault> all;
  for (int n : {1, 2, 3, 6, 8, 12}) all.push_back({Operation::Append, n});
  for (int n : {1, 5}) all.push_back({Operation::Create, n});
  for (int n : {2, 6}) all.push_back({Operation::Rename, n});
  for (int n : {1, 3, 4}) all.push_back({Operation::Remove, n});
  all.push_back({Operation::Sync, 3});
  all.push_back({Operation::Close, 4});
  return all;
}

INSTANTIATE_TEST_SUITE_P(EveryStep, DispatchFaultsTest, ::testing::ValuesIn(faults()));

}  // namespace
}  // namespace corvex
