#include "mail/login_wait.h"

#include "base/checked_file.h"
#include "support/temp_app_dir.h"

#include <QFile>

#include <gtest/gtest.h>

namespace corvex {
namespace {

using test::TempAppDir;

const QByteArray kSettings = "smtp.example.com|587|ana|s3cret-password";
const QDateTime kStart(QDate(2026, 12, 10), QTime(8, 0), Qt::UTC);

class LoginWaitTest : public ::testing::Test {
 protected:
  // Tries a login every minute from kStart for `minutes`, each refused,
  // as runs every few seconds would once the wait let them; returns the
  // minutes at which a login was tried.
  QList<int> refusedEveryMinute(LoginWait& wait, int minutes, const QByteArray& settings = kSettings) {
    QList<int> tried;
    for (int minute = 0; minute < minutes; ++minute) {
      const QDateTime now = kStart.addSecs(minute * 60);
      if (wait.current(settings, now)) continue;
      wait.refused(settings, QStringLiteral("login as ana refused: 535 5.7.8"), now);
      tried << minute;
    }
    return tried;
  }

  TempAppDir dir;
  RealFileSystem files;
};

// A wrong password costs at most 4 refusals in the first hour and one an
// hour after that, and a restarted program (a new LoginWait on the same
// folder) keeps the wait.
TEST_F(LoginWaitTest, AWrongPasswordIsTriedAtMostFourTimesTheFirstHourThenHourly) {
  LoginWait first(dir.folder(), files);
  EXPECT_EQ(refusedEveryMinute(first, 30), (QList<int>{0, 5, 15}));
  LoginWait restarted(dir.folder(), files);
  EXPECT_EQ(refusedEveryMinute(restarted, 4 * 60), (QList<int>{35, 75, 135, 195}));
  const std::optional<SendingWait> recorded = readSendingWait(dir.folder());
  ASSERT_TRUE(recorded);
  EXPECT_EQ(recorded->refusals, 7);
  EXPECT_EQ(recorded->since, kStart);
  EXPECT_EQ(recorded->until, kStart.addSecs(255 * 60));
  QFile file(dir.filePath(QString::fromLatin1(LoginWait::kFileName)));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_FALSE(file.readAll().contains("s3cret"));
}

TEST_F(LoginWaitTest, WhatEndsAWaitEarly) {
  struct Case {
    const char* name;
    std::function<void(LoginWait&)> act;
    QByteArray settingsAfter;
    bool waits;
  };
  const Case cases[] = {
      {"nothing", [](LoginWait&) {}, kSettings, true},
      {"a successful login", [](LoginWait& wait) { wait.ended(); }, kSettings, false},
      {"other settings", [](LoginWait&) {}, kSettings + "-new", false},
      {"a file that is not ours",
       [this](LoginWait&) { writeFileReplacing(files, dir.filePath(QString::fromLatin1(LoginWait::kFileName)), "{x"); },
       kSettings, false},
  };
  for (const Case& c : cases) {
    LoginWait wait(dir.folder(), files);
    wait.ended();
    wait.refused(kSettings, QStringLiteral("535"), kStart);
    c.act(wait);
    EXPECT_EQ(wait.current(c.settingsAfter, kStart.addSecs(60)).has_value(), c.waits) << c.name;
  }
  // Other settings start counting afresh: their first refusal waits 5 minutes.
  LoginWait wait(dir.folder(), files);
  wait.refused(kSettings, QStringLiteral("535"), kStart.addSecs(600));
  EXPECT_EQ(wait.refused(kSettings + "-new", QStringLiteral("535"), kStart.addSecs(660)).until, kStart.addSecs(960));
}

TEST_F(LoginWaitTest, APauseHoldsUntilTheTimeAskedAndKeepsTheCount) {
  LoginWait wait(dir.folder(), files);
  wait.refused(kSettings, QStringLiteral("535"), kStart);
  const SendingWait paused =
      wait.paused(kSettings, QStringLiteral("429 asks to wait 900 s"), kStart.addSecs(400), kStart.addSecs(1300));
  EXPECT_EQ(paused.kind, SendingWait::Kind::Throttle);
  EXPECT_TRUE(wait.current(kSettings, kStart.addSecs(1299)));
  EXPECT_FALSE(wait.current(kSettings, kStart.addSecs(1300)));
  EXPECT_EQ(wait.refused(kSettings, QStringLiteral("535"), kStart.addSecs(1300)).refusals, 2);
}

}  // namespace
}  // namespace corvex
