#include "base/checked_file.h"

#include "support/faulty_file_system.h"
#include "support/temp_app_dir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace corvex {
namespace {

using test::FaultyFileSystem;
using test::TempAppDir;
using Operation = FaultyFileSystem::Operation;

struct FaultCase {
  const char* name;
  Operation operation;
  std::errc cause;
  ErrorNumber number;
  const char* reason;
};

// Each step of a write fails in turn: the old file stays whole, no temporary
// file is left, and the error carries the system's reason.
TEST(CheckedFileTest, AFailureAtAnyStepLeavesTheOldFileAndSaysWhy) {
  const FaultCase cases[] = {
      {"create", Operation::Create, std::errc::read_only_file_system, kPermissionDenied, "Read-only file system"},
      {"write", Operation::Append, std::errc::no_space_on_device, kDiskFull, "No space left on device"},
      {"sync", Operation::Sync, std::errc::io_error, kPathFileAccessError, "Input/output error"},
      {"close", Operation::Close, std::errc::no_space_on_device, kDiskFull, "No space left on device"},
      {"rename", Operation::Rename, std::errc::permission_denied, kPermissionDenied, "Permission denied"},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempAppDir dir({QStringLiteral("files")});
    dir.writeFile(QStringLiteral("files/a.pdf"), "old");
    FaultyFileSystem files;
    files.failAt(c.operation, 1, c.cause);
    try {
      writeFileReplacing(files, dir.filePath(QStringLiteral("files/a.pdf")), "new content");
      ADD_FAILURE() << "no error";
    } catch (const FileError& error) {
      EXPECT_EQ(error.number(), c.number);
      EXPECT_TRUE(error.description().endsWith(QString::fromLatin1(c.reason))) << error.what();
      EXPECT_TRUE(error.description().contains(QStringLiteral("a.pdf"))) << error.what();
    }
    EXPECT_EQ(dir.readFile(QStringLiteral("files/a.pdf")), "old");
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("files"))).entryList(QDir::Files), QStringList{"a.pdf"});
  }
}

// A link standing at the path is replaced, never written through: not even
// when it leads to a device that fails every write or to another file.
TEST(CheckedFileTest, LinkAtThePathIsReplacedNotFollowed) {
  TempAppDir dir({QStringLiteral("files")});
  dir.writeFile(QStringLiteral("elsewhere.txt"), "keep");
  RealFileSystem files;
  for (const QString& target : {QStringLiteral("/dev/full"), dir.filePath(QStringLiteral("elsewhere.txt"))}) {
    SCOPED_TRACE(target.toStdString());
    const QString path = dir.filePath(QStringLiteral("files/a.json"));
    QFile::remove(path);
    ASSERT_TRUE(QFile::link(target, path));
    writeFileReplacing(files, path, "{}\r\n");
    EXPECT_FALSE(QFileInfo(path).isSymLink());
    EXPECT_EQ(dir.readFile(QStringLiteral("files/a.json")), "{}\r\n");
  }
  EXPECT_EQ(dir.readFile(QStringLiteral("elsewhere.txt")), "keep");
}

TEST(CheckedFileTest, KernelFaultsReachTheCallerWithTheirReason) {
  TempAppDir dir({QStringLiteral("files")});
  RealFileSystem files;
  try {
    writeFileReplacing(files, dir.filePath(QStringLiteral("missing/a.json")), "x");
    ADD_FAILURE() << "wrote into a missing folder";
  } catch (const FileError& error) {
    EXPECT_EQ(error.number(), kPathNotFound);
    EXPECT_TRUE(error.description().endsWith(QStringLiteral("No such file or directory"))) << error.what();
  }
}

// Regression: each read once took a buffer of the bound's size, which
// Wine's ReadFile touched whole (two attachments, 50 MB a document), and a
// bound beyond the memory failed every read.
TEST(CheckedFileTest, ReadingTakesMemoryByTheFileNotByTheBound) {
  TempAppDir dir;
  dir.writeFile(QStringLiteral("small"), "abc");
  EXPECT_EQ(readBoundedFile(dir.filePath(QStringLiteral("small")), qint64(1) << 40), "abc");
}

// Pipes and devices by path are Unix's.
#ifndef Q_OS_WIN
// Files that measure 0 bytes and hold more (the kernel's own) are read whole,
// or refused, by their content.
TEST(CheckedFileTest, ReadingFollowsTheContentPastTheMeasuredSize) {
  const QString path = QStringLiteral("/proc/version");
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray whole = file.readAll();
  ASSERT_EQ(QFileInfo(path).size(), 0);
  ASSERT_GT(whole.size(), 10);
  EXPECT_EQ(readBoundedFile(path, whole.size()), whole);
  EXPECT_THROW(readBoundedFile(path, whole.size() - 1), Error);
}

TEST(CheckedFileTest, ReadingRefusesDevicesPipesAndOversizedFiles) {
  TempAppDir dir;
  dir.writeFile(QStringLiteral("big"), QByteArray(2048, 'x'));
  dir.writeFile(QStringLiteral("small"), "abc");
  ASSERT_EQ(mkfifo(dir.filePath(QStringLiteral("pipe")).toLocal8Bit().constData(), 0600), 0);
  ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), dir.filePath(QStringLiteral("zero"))));
  for (const char* name : {"big", "pipe", "zero"}) {
    SCOPED_TRACE(name);
    try {
      readBoundedFile(dir.filePath(QString::fromLatin1(name)), 1024);
      ADD_FAILURE() << "read";
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), kPathFileAccessError);
    }
  }
  EXPECT_EQ(readBoundedFile(dir.filePath(QStringLiteral("small")), 3), "abc");
  EXPECT_THROW(readBoundedFile(dir.filePath(QStringLiteral("none")), 3), Error);
}
#endif

}  // namespace
}  // namespace corvex
