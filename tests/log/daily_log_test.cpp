#include "log/daily_log.h"

#include "support/fixed_clock.h"
#include "support/temp_app_dir.h"

#include <gtest/gtest.h>

namespace corvex {
namespace {

using test::FixedClock;
using test::localTime;
using test::TempAppDir;

class DailyLogTest : public ::testing::Test {
 protected:
  TempAppDir dir;
  FixedClock clock{localTime(2026, 12, 7, 8, 41, 3)};
  DailyLog log{dir.folder(), clock};
};

TEST_F(DailyLogTest, LineIsStampSeparatorTextAndCrLf) {
  log.WriteLog(QStringLiteral("OpenConnection=> no server"));
  log.WriteLog(QString());
  EXPECT_EQ(dir.readFile(QStringLiteral("logs/20261207.txt")),
            QByteArray("2026-12-07 08:41:03 - OpenConnection=> no server\r\n"
                       "2026-12-07 08:41:03 - \r\n"));
}

TEST_F(DailyLogTest, AppendsToAnExistingFileAndKeepsItsContent) {
  dir.writeFile(QStringLiteral("logs/20261207.txt"), "earlier run\r\n");
  log.WriteLog(QStringLiteral("one"));
  clock.advanceSeconds(1);
  log.WriteLog(QStringLiteral("two"));
  EXPECT_EQ(dir.readFile(QStringLiteral("logs/20261207.txt")),
            QByteArray("earlier run\r\n2026-12-07 08:41:03 - one\r\n2026-12-07 08:41:04 - two\r\n"));
}

TEST_F(DailyLogTest, TextWithLineBreaksIsWrittenUnchanged) {
  log.WriteLog(QStringLiteral("first\nsecond\r\nthird"));
  EXPECT_EQ(dir.readFile(QStringLiteral("logs/20261207.txt")),
            QByteArray("2026-12-07 08:41:03 - first\nsecond\r\nthird\r\n"));
}

TEST_F(DailyLogTest, NonAsciiTextIsUtf8) {
  log.WriteLog(QStringLiteral("Envío a Peña"));
  EXPECT_EQ(dir.readFile(QStringLiteral("logs/20261207.txt")),
            QByteArray("2026-12-07 08:41:03 - Env\xC3\xADo a Pe\xC3\xB1"
                       "a\r\n"));
}

TEST_F(DailyLogTest, CallsAcrossMidnightLandInTwoFiles) {
  clock.set(localTime(2026, 12, 31, 23, 59, 59));
  log.WriteLog(QStringLiteral("old year"));
  clock.advanceSeconds(1);
  log.WriteLog(QStringLiteral("new year"));
  EXPECT_EQ(dir.readFile(QStringLiteral("logs/20261231.txt")), QByteArray("2026-12-31 23:59:59 - old year\r\n"));
  EXPECT_EQ(dir.readFile(QStringLiteral("logs/20270101.txt")), QByteArray("2027-01-01 00:00:00 - new year\r\n"));
}

TEST(DailyLogWithoutFolder, WritesNothingAndCreatesNoFolder) {
  TempAppDir dir(QStringList{});
  FixedClock clock(localTime(2026, 12, 7));
  DailyLog log(dir.folder(), clock);
  log.WriteLog(QStringLiteral("lost"));
  EXPECT_FALSE(dir.exists(QStringLiteral("logs")));
}

}  // namespace
}  // namespace corvex
