#include "base/file_system.h"

#include "base/held_file_retry.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <mutex>

#ifdef Q_OS_WIN
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <QThread>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace corvex {

namespace {

ErrorNumber numberFor(std::error_code cause) {
  if (cause == std::errc::no_space_on_device) return kDiskFull;
#ifdef EDQUOT
  if (cause.value() == EDQUOT && cause.category() == std::generic_category()) return kDiskFull;
#endif
  if (cause == std::errc::permission_denied || cause == std::errc::operation_not_permitted ||
      cause == std::errc::read_only_file_system)
    return kPermissionDenied;
  if (cause == std::errc::no_such_file_or_directory || cause == std::errc::not_a_directory) return kPathNotFound;
  return kPathFileAccessError;
}

QString describe(const QString& action, const QString& path, std::error_code cause) {
  return QStringLiteral("%1 %2: %3")
      .arg(action, QDir::toNativeSeparators(path), QString::fromLocal8Bit(cause.message().c_str()));
}

std::error_code lastError() { return {errno, std::generic_category()}; }

#ifdef Q_OS_WIN
// The system category maps the Win32 codes that matter here (disk full,
// access denied, write-protected, path not found) onto their std::errc, so
// numberFor() needs no list of its own.
std::error_code windowsError() { return {static_cast<int>(::GetLastError()), std::system_category()}; }

std::wstring wide(const QString& path) { return QDir::toNativeSeparators(path).toStdWString(); }

// A scanner or indexer that holds the file, or the old file at the target
// (which shows as access denied), lets go within moments.
bool isHeld(std::error_code cause) {
  const auto code = static_cast<DWORD>(cause.value());
  return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION || code == ERROR_ACCESS_DENIED;
}

// Runs `step` (a Win32 call that sets the last error when it answers false)
// until it succeeds, fails for good, or the file stays held too long.
std::error_code whileHeld(const std::function<bool()>& step) {
  std::error_code cause;
  retryWhileHeld(
      [&] {
        cause = step() ? std::error_code() : windowsError();
        return !cause ? Attempt::Done : isHeld(cause) ? Attempt::Held : Attempt::Failed;
      },
      [](int ms) { QThread::msleep(static_cast<unsigned long>(ms)); });
  return cause;
}

// The folder's access list decides who may read, for every file alike.
int openNew(const QString& path, bool) {
  return _wopen(wide(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
long writeSome(int fd, const char* data, qsizetype size) {
  return _write(fd, data, static_cast<unsigned>(std::min<qsizetype>(size, INT_MAX)));
}
// FlushFileBuffers itself rather than _commit(), which reports every failure
// as a bad descriptor and so would hide a disk that filled up.
std::error_code syncFile(int fd) {
  return ::FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) ? std::error_code() : windowsError();
}
int closeFile(int fd) { return _close(fd); }
// With the right to append and not to write, Windows itself puts every write
// at the end of the file, whoever else appends: a seek to the end before each
// write (the C library's _O_APPEND, GENERIC_WRITE's way) lets two writers
// overwrite each other's line. The right to append is enough to flush, and
// reading the attributes enough to look at them. A reparse point (a link) is
// opened as itself, and refused.
// The folder's access list decides who may read. Opening by hand also spares
// QFile's query of the file's size and volume, 3 ms a log line under Wine.
std::error_code openAppending(const QString& path, int& fd, bool) {
  const HANDLE handle = ::CreateFileW(wide(path).c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return windowsError();
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileType(handle) != FILE_TYPE_DISK || !::GetFileInformationByHandle(handle, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    ::CloseHandle(handle);
    return std::make_error_code(std::errc::invalid_argument);
  }
  fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (fd >= 0) return {};
  ::CloseHandle(handle);
  return std::make_error_code(std::errc::too_many_files_open);
}
// Written through: the new name is on the disk when the call returns, which
// is what syncing the folder does elsewhere.
std::error_code moveReplacing(const QString& from, const QString& to) {
  return whileHeld([&] {
    return ::MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  });
}
std::error_code removeEntry(const QString& path) {
  const std::error_code cause = whileHeld([&] { return ::DeleteFileW(wide(path).c_str()); });
  const auto code = static_cast<DWORD>(cause.value());
  return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? std::error_code() : cause;
}
#else
// Private from its creation on: a mode set later would not shut out a
// reader who opened the file before.
int openNew(const QString& path, bool ownerOnly) {
  return ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, ownerOnly ? 0600 : 0666);
}
long writeSome(int fd, const char* data, qsizetype size) {
  return ::write(fd, data, static_cast<size_t>(std::min<qsizetype>(size, INT_MAX)));
}
std::error_code syncFile(int fd) { return ::fsync(fd) == 0 ? std::error_code() : lastError(); }
int closeFile(int fd) { return ::close(fd); }
// O_NONBLOCK: a pipe standing at the path must not hang the open; it is
// refused below, with anything else that is no regular file.
std::error_code openAppending(const QString& path, int& fd, bool ownerOnly) {
  fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
              ownerOnly ? 0600 : 0666);
  if (fd < 0) return lastError();
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) return {};
  ::close(fd);
  fd = -1;
  return std::make_error_code(std::errc::invalid_argument);
}
std::error_code moveReplacing(const QString& from, const QString& to) {
  std::error_code cause;
  std::filesystem::rename(QFile::encodeName(from).toStdString(), QFile::encodeName(to).toStdString(), cause);
  return cause;
}
std::error_code removeEntry(const QString& path) {
  return ::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT ? std::error_code() : lastError();
}
#endif

class DescriptorFile : public WritableFile {
 public:
  DescriptorFile(int fd, QString path) : m_fd(fd), m_path(std::move(path)) {}
  ~DescriptorFile() override {
    if (m_fd >= 0) closeFile(m_fd);
  }
  DescriptorFile(const DescriptorFile&) = delete;
  DescriptorFile& operator=(const DescriptorFile&) = delete;

  void append(const QByteArray& bytes) override {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
      const long written = writeSome(m_fd, data, left);
      if (written < 0 && errno == EINTR) continue;
      if (written < 0) throw FileError(QStringLiteral("Cannot write"), m_path, lastError());
      data += written;
      left -= written;
    }
  }

  void sync() override {
    if (const std::error_code cause = syncFile(m_fd)) throw FileError(QStringLiteral("Cannot write"), m_path, cause);
  }

  void close() override {
    const int fd = m_fd;
    m_fd = -1;
    if (closeFile(fd) != 0) throw FileError(QStringLiteral("Cannot close"), m_path, lastError());
  }

 private:
  int m_fd;
  QString m_path;
};

}  // namespace

bool appendToFile(const QString& path, const QByteArray& bytes) {
  // Wine keeps an append-only handle's promise by asking the file's size and
  // writing there, so two threads could overwrite each other's line; one
  // lock keeps a process's own lines whole on every system.
  static std::mutex appending;
  const std::lock_guard<std::mutex> lock(appending);
  int fd = -1;
  if (openAppending(path, fd, false)) return false;
  DescriptorFile file(fd, path);
  try {
    file.append(bytes);
    file.close();
    return true;
  } catch (const FileError&) {
    return false;
  }
}

FileError::FileError(const QString& action, const QString& path, std::error_code cause)
    : Error(numberFor(cause), describe(action, path, cause)) {}

std::unique_ptr<WritableFile> RealFileSystem::createNew(const QString& path) { return create(path, false); }

std::unique_ptr<WritableFile> RealFileSystem::createPrivate(const QString& path) { return create(path, true); }

std::unique_ptr<WritableFile> RealFileSystem::create(const QString& path, bool ownerOnly) {
  const int fd = openNew(path, ownerOnly);
  if (fd < 0) throw FileError(QStringLiteral("Cannot create"), path, lastError());
  return std::make_unique<DescriptorFile>(fd, path);
}

std::unique_ptr<WritableFile> RealFileSystem::appendTo(const QString& path) {
  int fd = -1;
  if (const std::error_code cause = openAppending(path, fd, true))
    throw FileError(QStringLiteral("Cannot open"), path, cause);
  return std::make_unique<DescriptorFile>(fd, path);
}

void RealFileSystem::rename(const QString& from, const QString& to) {
  if (const std::error_code cause = moveReplacing(from, to))
    throw FileError(QStringLiteral("Cannot replace"), to, cause);
}

void RealFileSystem::remove(const QString& path) {
  if (const std::error_code cause = removeEntry(path)) throw FileError(QStringLiteral("Cannot remove"), path, cause);
}

void RealFileSystem::syncFolder(const QString& folder) {
#ifdef Q_OS_WIN
  // Nothing to do: every rename was written through.
  Q_UNUSED(folder);
#else
  const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throw FileError(QStringLiteral("Cannot open"), folder, lastError());
  const int synced = ::fsync(fd);
  const std::error_code cause = lastError();
  ::close(fd);
  if (synced != 0) throw FileError(QStringLiteral("Cannot write"), folder, cause);
#endif
}

}  // namespace corvex
