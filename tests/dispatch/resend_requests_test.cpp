#include "dispatch/resend_requests.h"

#include "base/error.h"
#include "support/expected_error.h"
#include "support/faulty_file_system.h"
#include "support/temp_app_dir.h"

#include <gtest/gtest.h>

namespace corvex {
namespace {

using test::FaultyFileSystem;
using test::TempAppDir;

class ResendRequestsTest : public ::testing::Test {
 protected:
  QList<ResendRequest> reread() {
    ResendRequests again(files, dir.folder());
    again.load();
    return again.entries();
  }

  TempAppDir dir;
  FaultyFileSystem files;
  ResendRequests requests{files, dir.folder()};
};

// One request per document, whatever case SQL Server matched its series in.
TEST_F(ResendRequestsTest, ANewerRequestReplacesTheOlderAndTheFileGoesWhenEmpty) {
  requests.load();
  requests.put({QStringLiteral("CF"), 318, QStringLiteral("a@example.com"), QStringLiteral("t1"), true});
  requests.put({QStringLiteral("FA"), -7, QString(), QStringLiteral("t2"), false});
  requests.put({QStringLiteral("cf"), 318, QString(), QStringLiteral("t3"), false});
  const QList<ResendRequest> entries = reread();
  ASSERT_EQ(entries.size(), 2);
  EXPECT_EQ(entries[0].serie, QStringLiteral("FA"));
  EXPECT_EQ(entries[1].requestedAt, QStringLiteral("t3"));
  EXPECT_TRUE(entries[1].to.isEmpty());
  EXPECT_FALSE(entries[1].applied);
  files.failAt(FaultyFileSystem::Operation::Append, 1, std::errc::no_space_on_device);
  EXPECT_THROW(requests.remove(QStringLiteral("FA"), -7), FileError);
  EXPECT_EQ(requests.entries().size(), 2);
  EXPECT_EQ(reread().size(), 2);
  requests.remove(QStringLiteral("FA"), -7);
  requests.remove(QStringLiteral("CF"), 318);
  EXPECT_FALSE(dir.exists(ResendRequests::kFileName));
}

TEST_F(ResendRequestsTest, ALineThatIsNoRequestIsRefusedByNumber) {
  const char* contents[] = {"{\"serie\":\"FA\",\"numero\":1}\r\n{\"serie\":\"FA\"}\r\n",
                            "{\"serie\":\"FA\",\"numero\":1}\r\n[1]\r\n"};
  for (const char* content : contents) {
    dir.writeFile(ResendRequests::kFileName, content);
    const auto error = test::raisedError([&] { requests.load(); });
    ASSERT_TRUE(error) << content;
    EXPECT_EQ(error->number(), kInvalidFileFormat);
    EXPECT_TRUE(error->description().startsWith(QStringLiteral("resend-requests.jsonl line 2: "))) << error->what();
  }
}

// The command and the run: one holds the lock, the other is told who does.
TEST_F(ResendRequestsTest, TheLockIsHeldByOneAtATime) {
  {
    const ResendRequests::Lock held(dir.folder(), 0);
    const auto error = test::raisedError([&] { ResendRequests::Lock(dir.folder(), 0); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number(), kPermissionDenied);
    EXPECT_TRUE(error->description().contains(QStringLiteral("held by process"))) << error->what();
  }
  EXPECT_NO_THROW(ResendRequests::Lock(dir.folder(), 0));
}

}  // namespace
}  // namespace corvex
