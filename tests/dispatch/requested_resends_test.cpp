#include "dispatch/requested_resends.h"

#include "db/connection_string.h"
#include "demo/demo_database.h"
#include "support/fixed_clock.h"
#include "support/temp_app_dir.h"

#include <gtest/gtest.h>

#include <optional>

namespace corvex {
namespace {

using test::FixedClock;
using test::localTime;
using test::TempAppDir;

struct ApplyCase {
  const char* name;
  ResendRequest request;
  bool lockHeld;            // by another holder, past the run's wait
  const char* logged;       // in the one log line
  bool kept;                // the request is still in the file
  const char* recipientOf;  // FA-1250's address in this run
};

// What a run's start does with a request, on the demo database.
TEST(RequestedResendsTest, ARunAppliesEachRequestOnceOrWaitsForTheLock) {
  const ApplyCase cases[] = {
      {"to the view's address",
       {"FA", 1250, "", "t", false},
       false,
       "Resend of FA-1250, asked t: mailed again to "
       "roberto.castillo@example.com",
       false,
       "roberto.castillo@example.com"},
      {"to another",
       {"FA", 1250, "c@example.com", "t", false},
       false,
       "instead of roberto.castillo@example.com",
       true,
       "c@example.com"},
      {"a document gone since",
       {"FA", 9999, "c@example.com", "t", false},
       false,
       "not mailed, since the view vwDTECorvex does not list it",
       false,
       "roberto.castillo@example.com"},
      {"the lock held",
       {"FA", 1250, "c@example.com", "t", false},
       true,
       "resend-requests.lock is held by process",
       true,
       "roberto.castillo@example.com"},
  };
  for (const ApplyCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempAppDir dir;
    buildDemoDatabase(dir.filePath(QStringLiteral("v.db")));
    RealFileSystem files;
    ResendRequests requests(files, dir.folder());
    requests.put(c.request);
    FixedClock clock(localTime(2026, 12, 9));
    const DailyLog log(dir.folder(), clock);
    Connection connection(DbEnvironment(dir.folder(), QString()));
    connection.open(ConnectionString::forServer(QStringLiteral("sqlite:v.db")));
    UnmarkedJournal journal(files, dir.folder());
    RequestedResends resends(files, dir.folder(), log, 0);
    std::optional<ResendRequests::Lock> other;
    if (c.lockHeld) other.emplace(dir.folder(), 0);

    const auto lock = resends.apply(connection, journal);
    EXPECT_EQ(lock == nullptr, c.lockHeld);
    ASSERT_EQ(dir.logLines().size(), 1);
    EXPECT_TRUE(dir.logLines().first().contains(QString::fromUtf8(c.logged))) << dir.logLines().first().toStdString();
    requests.load();
    EXPECT_EQ(requests.entries().size(), c.kept ? 1 : 0);
    if (c.kept) {
      EXPECT_EQ(requests.entries().first().applied, !c.lockHeld);
    }
    EXPECT_EQ(resends.recipient(QStringLiteral("FA"), 1250, QStringLiteral("roberto.castillo@example.com")),
              QString::fromUtf8(c.recipientOf));
  }
}

}  // namespace
}  // namespace corvex
