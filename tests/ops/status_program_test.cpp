#include "dispatch/run_status.h"
#include "dispatch/unmarked_journal.h"
#include "mail/delivery_ledger.h"
#include "mail/login_wait.h"
#include "support/demo_setup.h"
#include "support/program.h"
#include "support/temp_app_dir.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>

#include <gtest/gtest.h>

#include <functional>

// `corvex status`, `corvex history` and `corvex dismiss-bounce` against the
// files a running program keeps, written here as it writes them.

namespace corvex {
namespace {

using test::ProgramRun;
using test::TempAppDir;

ProgramRun corvex(const TempAppDir& dir, const QStringList& arguments) {
  return test::runProgram(arguments + QStringList{QStringLiteral("--app-dir"), dir.path()}, 120000);
}

QDateTime ago(qint64 seconds) { return QDateTime::currentDateTime().addSecs(-seconds); }

LedgerEntry mail(qint64 secondsAgo, const QString& messageId, const QString& to = QStringLiteral("nadie@x.example")) {
  LedgerEntry entry;
  entry.time = ago(secondsAgo);
  entry.serie = QStringLiteral("CF");
  entry.numero = 318;
  entry.idDocumento = QStringLiteral("ID-318");
  entry.to = to;
  entry.messageId = messageId;
  entry.transport = QStringLiteral("smtp");
  entry.reply = QStringLiteral("250 2.0.0 Ok: queued as 4F2A");
  entry.attachments = {{QStringLiteral("ID-318.json"), "aa11"}, {QStringLiteral("ID-318.pdf"), "bb22"}};
  return entry;
}

LedgerEntry bounce(qint64 secondsAgo, const QString& messageId) {
  LedgerEntry entry = mail(secondsAgo, messageId);
  entry.kind = LedgerEntry::Kind::Bounce;
  entry.transport = entry.reply = QString();
  entry.attachments.clear();
  entry.status = QStringLiteral("5.1.1");
  entry.diagnostic = QStringLiteral("smtp; 550 5.1.1 User unknown");
  entry.recipient = entry.to;
  return entry;
}

void writeLedger(const TempAppDir& dir, const QList<LedgerEntry>& entries) {
  RealFileSystem files;
  DeliveryLedger ledger(files, dir.folder());
  for (const LedgerEntry& entry : entries) ledger.append(entry);
}

void writeRun(const TempAppDir& dir, qint64 endedAgo, const QList<RepeatedFailures::Failure>& failing = {}) {
  RunStatusFile(dir.folder()).ended(ago(endedAgo), true, QString(), 4, 3, 1, failing);
}

struct StatusCase {
  const char* name;
  std::function<void(const TempAppDir&)> setUp;
  int exitCode;
  /// A phrase of the text output.
  const char* says;
};

void PrintTo(const StatusCase& c, std::ostream* out) { *out << c.name; }

const StatusCase kCases[] = {
    {"AllWell", [](const TempAppDir& dir) { writeRun(dir, 2); }, 0, "pending      4 documents"},
    {"SendingWaitsAfterARefusedLogin",
     [](const TempAppDir& dir) {
       RealFileSystem files;
       LoginWait(dir.folder(), files)
           .refused("settings", QStringLiteral("login as dte refused: 535 5.7.8"), QDateTime::currentDateTime());
     },
     1, "sending waits until"},
    {"AServiceThatAskedToWaitNeedsNobody",
     [](const TempAppDir& dir) {
       RealFileSystem files;
       LoginWait(dir.folder(), files)
           .paused("settings", QStringLiteral("HTTP 429 (asks to wait 600 s)"), QDateTime::currentDateTime(),
                   QDateTime::currentDateTime().addSecs(600));
     },
     0, "asked to wait"},
    {"ADocumentFailingForMoreThanAnHour",
     [](const TempAppDir& dir) {
       writeRun(dir, 2,
                {{QStringLiteral("FA-1251--a@x"), QStringLiteral("Corvex=> Email send failed: 451"), ago(7200), 700}});
     },
     1, "FA-1251--a@x has failed since"},
    {"ADocumentFailingForMinutes",
     [](const TempAppDir& dir) {
       writeRun(dir, 2,
                {{QStringLiteral("FA-1251--a@x"), QStringLiteral("Corvex=> Email send failed: 451"), ago(600), 60}});
     },
     0, "FA-1251--a@x since"},
    {"TheJournalHoldsADocument",
     [](const TempAppDir& dir) {
       RealFileSystem files;
       UnmarkedJournal(files, dir.folder())
           .add({QStringLiteral("CF"), 318, QStringLiteral("ID-318"), QStringLiteral("c@x"), QStringLiteral("now")});
     },
     1, "1 mailed documents could not be marked"},
    {"ABounceNotSettled",
     [](const TempAppDir& dir) {
       writeLedger(dir, {mail(600, QStringLiteral("m1@x")), bounce(60, QStringLiteral("m1@x"))});
     },
     1, "corvex resend CF 318 --to ADDRESS"},
    {"ABounceSettledByAResend",
     [](const TempAppDir& dir) {
       writeLedger(dir, {mail(600, QStringLiteral("m1@x")), bounce(300, QStringLiteral("m1@x")),
                         mail(60, QStringLiteral("m2@x"), QStringLiteral("compras@x.example"))});
     },
     0, "(settled)"},
    {"ABounceOlderThanThirtyDays",
     [](const TempAppDir& dir) {
       writeLedger(dir, {mail(40 * 86400, QStringLiteral("m1@x")), bounce(39 * 86400, QStringLiteral("m1@x"))});
     },
     0, "bounces      none"},
};

class StatusProgramTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusProgramTest, ExitsOneExactlyWhenAPersonIsNeeded) {
  const StatusCase& c = GetParam();
  const TempAppDir dir(test::demoRunFolders());
  test::writeDemoSetUp(dir);
  c.setUp(dir);
  const ProgramRun text = corvex(dir, {QStringLiteral("status")});
  EXPECT_EQ(text.exitCode, c.exitCode) << text.out.toStdString() << text.err.toStdString();
  EXPECT_TRUE(text.out.contains(c.says)) << text.out.toStdString();
  const ProgramRun json = corvex(dir, {QStringLiteral("status"), QStringLiteral("--json")});
  EXPECT_EQ(json.exitCode, c.exitCode);
  const QJsonObject object = QJsonDocument::fromJson(json.out).object();
  EXPECT_EQ(object[QStringLiteral("personNeeded")].toBool(), c.exitCode == 1) << json.out.toStdString();
  EXPECT_EQ(object[QStringLiteral("pending")].toInt(), 4);
}

INSTANTIATE_TEST_SUITE_P(Situations, StatusProgramTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<StatusCase>& info) { return std::string(info.param.name); });

// A program that holds the folder's lock but has not finished a run for
// three poll intervals needs a person; one that just did does not.
TEST(StatusProgramTest, ARunningProgramWhoseLastRunIsOldNeedsAPerson) {
  const TempAppDir dir(test::demoRunFolders());
  test::writeDemoSetUp(dir);
  QLockFile running(dir.filePath(QStringLiteral("corvex.lock")));
  ASSERT_TRUE(running.tryLock(0));
  writeRun(dir, 1);
  EXPECT_EQ(corvex(dir, {QStringLiteral("status")}).exitCode, 0);
  writeRun(dir, 4 * kPollIntervalMs / 1000);
  const ProgramRun late = corvex(dir, {QStringLiteral("status")});
  EXPECT_EQ(late.exitCode, 1);
  EXPECT_TRUE(late.out.contains("more than three poll intervals old")) << late.out.toStdString();
}

TEST(StatusProgramTest, ADismissalSettlesTheBounceAndHistoryTellsEverything) {
  const TempAppDir dir(test::demoRunFolders());
  test::writeDemoSetUp(dir);
  writeLedger(dir, {mail(600, QStringLiteral("m1@x")), bounce(60, QStringLiteral("m1@x"))});
  EXPECT_EQ(corvex(dir, {QStringLiteral("dismiss-bounce"), QStringLiteral("FA"), QStringLiteral("1251")}).exitCode, 1);
  const ProgramRun dismissed =
      corvex(dir, {QStringLiteral("dismiss-bounce"), QStringLiteral("CF"), QStringLiteral("318")});
  EXPECT_EQ(dismissed.exitCode, 0) << dismissed.err.toStdString();
  EXPECT_EQ(corvex(dir, {QStringLiteral("status")}).exitCode, 0);
  EXPECT_EQ(corvex(dir, {QStringLiteral("dismiss-bounce"), QStringLiteral("CF"), QStringLiteral("318")}).exitCode, 1);

  const ProgramRun history = corvex(dir, {QStringLiteral("history"), QStringLiteral("CF"), QStringLiteral("318")});
  EXPECT_EQ(history.exitCode, 0) << history.err.toStdString();
  for (const char* told :
       {"CF-318: not marked", "mailed to nadie@x.example through smtp", "Message-ID  <m1@x>",
        "reply       250 2.0.0 Ok: queued as 4F2A", "ID-318.pdf  SHA-256 bb22",
        "bounced: nadie@x.example (the mail <m1@x>)", "5.1.1 smtp; 550 5.1.1 User unknown Hint:", "bounces dismissed"})
    EXPECT_TRUE(history.out.contains(told)) << told << "\n" << history.out.toStdString();
  EXPECT_EQ(corvex(dir, {QStringLiteral("history"), QStringLiteral("ZZ"), QStringLiteral("1")}).exitCode, 1);
}

}  // namespace
}  // namespace corvex
