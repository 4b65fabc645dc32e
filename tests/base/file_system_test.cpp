#include "base/file_system.h"

#include "support/temp_app_dir.h"

#include <QSet>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace corvex {
namespace {

using test::TempAppDir;

// Several programs log into one file (the service and an operator's
// command): a writer that sought the end and then wrote would overwrite
// another's line written meanwhile.
TEST(FileSystemTest, AppendsOfSeveralWritersLandWhole) {
  TempAppDir dir;
  const QString path = dir.filePath(QStringLiteral("log.txt"));
  constexpr int kWriters = 4;
  constexpr int kLines = 150;
  std::vector<std::thread> writers;
  for (int writer = 0; writer < kWriters; ++writer) {
    writers.emplace_back([&path, writer] {
      for (int line = 0; line < kLines; ++line)
        appendToFile(path, QByteArray::number(writer) + ':' + QByteArray::number(line) + QByteArray(60, '.') + "\r\n");
    });
  }
  for (std::thread& writer : writers) writer.join();
  QList<QByteArray> lines = dir.readFile(QStringLiteral("log.txt")).split('\n');
  ASSERT_EQ(lines.takeLast(), QByteArray());
  ASSERT_EQ(lines.size(), kWriters * kLines);
  QSet<QByteArray> distinct;
  for (const QByteArray& line : lines) {
    EXPECT_TRUE(line.endsWith(QByteArray(60, '.') + '\r')) << line.constData();
    distinct.insert(line);
  }
  EXPECT_EQ(distinct.size(), kWriters * kLines);
}

TEST(FileSystemTest, AppendingCreatesTheFileButNotItsFolder) {
  TempAppDir dir;
  EXPECT_TRUE(appendToFile(dir.filePath(QStringLiteral("new.txt")), "one\r\n"));
  EXPECT_TRUE(appendToFile(dir.filePath(QStringLiteral("new.txt")), "two\r\n"));
  EXPECT_EQ(dir.readFile(QStringLiteral("new.txt")), QByteArray("one\r\ntwo\r\n"));
  EXPECT_FALSE(appendToFile(dir.filePath(QStringLiteral("missing/new.txt")), "one\r\n"));
}

}  // namespace
}  // namespace corvex
