#include "dispatch/unmarked_journal.h"

#include "base/error.h"
#include "support/faulty_file_system.h"
#include "support/temp_app_dir.h"

#include <gtest/gtest.h>

namespace corvex {
namespace {

using test::FaultyFileSystem;
using test::TempAppDir;

const UnmarkedDocument kFirst{QStringLiteral("FA"), 1251, QStringLiteral("ID-1"), QStringLiteral("a@example.com"),
                              QStringLiteral("2026-12-07 10:00:00")};
const UnmarkedDocument kSecond{QStringLiteral("C\"F\t"), -7, QStringLiteral("ID-2"), QStringLiteral("b@example.com"),
                               QStringLiteral("2026-12-07 10:00:05")};

class UnmarkedJournalTest : public ::testing::Test {
 protected:
  UnmarkedJournal reopened() {
    UnmarkedJournal journal(files, dir.folder());
    journal.load();
    return journal;
  }

  TempAppDir dir;
  FaultyFileSystem files;
  UnmarkedJournal journal{files, dir.folder()};
};

TEST_F(UnmarkedJournalTest, EntriesSurviveAReopenAndTheFileGoesWhenEmpty) {
  journal.load();
  EXPECT_TRUE(journal.entries().isEmpty());
  journal.add(kFirst);
  journal.add(kSecond);
  const QList<UnmarkedDocument> entries = reopened().entries();
  ASSERT_EQ(entries.size(), 2);
  EXPECT_EQ(entries[0].serie, QStringLiteral("FA"));
  EXPECT_EQ(entries[0].numero, 1251);
  EXPECT_EQ(entries[1].serie, QStringLiteral("C\"F\t"));
  EXPECT_EQ(entries[1].numero, -7);
  EXPECT_EQ(entries[1].mailedAt, QStringLiteral("2026-12-07 10:00:05"));
  EXPECT_TRUE(dir.readFile(UnmarkedJournal::kFileName).startsWith("{\"eMail\":\"a@example.com\""));
  journal.remove(QStringLiteral("FA"), 1251);
  EXPECT_EQ(reopened().entries().size(), 1);
  EXPECT_EQ(reopened().entries().first().idDocumento, QStringLiteral("ID-2"));
  journal.remove(QStringLiteral("C\"F\t"), -7);
  EXPECT_FALSE(dir.exists(UnmarkedJournal::kFileName));
}

TEST_F(UnmarkedJournalTest, FailedAddLeavesFileAndMemoryAsTheyWere) {
  journal.add(kFirst);
  const QByteArray before = dir.readFile(UnmarkedJournal::kFileName);
  files.failAt(FaultyFileSystem::Operation::Append, 1, std::errc::no_space_on_device);
  EXPECT_THROW(journal.add(kSecond), FileError);
  EXPECT_EQ(journal.entries().size(), 1);
  EXPECT_EQ(dir.readFile(UnmarkedJournal::kFileName), before);
}

TEST_F(UnmarkedJournalTest, ALineThatIsNoEntryIsRefusedByNumber) {
  dir.writeFile(UnmarkedJournal::kFileName, "{\"serie\":\"FA\",\"numero\":1}\r\n{\"serie\":\"FA\",\"numero\":1.5}\r\n");
  try {
    journal.load();
    ADD_FAILURE() << "loaded";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), kInvalidFileFormat);
    EXPECT_TRUE(error.description().contains(QStringLiteral("line 2"))) << error.what();
  }
}

}  // namespace
}  // namespace corvex
