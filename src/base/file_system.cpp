#include "base/file_system.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
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

std::filesystem::path nativePath(const QString& path) {
#ifdef Q_OS_WIN
  return std::filesystem::path(path.toStdWString());
#else
  return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

#ifdef Q_OS_WIN
int openNew(const QString& path) {
  return _wopen(path.toStdWString().c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
long writeSome(int fd, const char* data, qsizetype size) {
  return _write(fd, data, static_cast<unsigned>(std::min<qsizetype>(size, INT_MAX)));
}
int syncFile(int fd) { return _commit(fd); }
int closeFile(int fd) { return _close(fd); }
int unlinkFile(const QString& path) { return _wunlink(path.toStdWString().c_str()); }
#else
int openNew(const QString& path) {
  return ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
long writeSome(int fd, const char* data, qsizetype size) {
  return ::write(fd, data, static_cast<size_t>(std::min<qsizetype>(size, INT_MAX)));
}
int syncFile(int fd) { return ::fsync(fd); }
int closeFile(int fd) { return ::close(fd); }
int unlinkFile(const QString& path) { return ::unlink(QFile::encodeName(path).constData()); }
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
    if (syncFile(m_fd) != 0) throw FileError(QStringLiteral("Cannot write"), m_path, lastError());
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

FileError::FileError(const QString& action, const QString& path, std::error_code cause)
    : Error(numberFor(cause), describe(action, path, cause)) {}

std::unique_ptr<WritableFile> RealFileSystem::createNew(const QString& path) {
  const int fd = openNew(path);
  if (fd < 0) throw FileError(QStringLiteral("Cannot create"), path, lastError());
  return std::make_unique<DescriptorFile>(fd, path);
}

void RealFileSystem::rename(const QString& from, const QString& to) {
  std::error_code cause;
  std::filesystem::rename(nativePath(from), nativePath(to), cause);
  if (cause) throw FileError(QStringLiteral("Cannot replace"), to, cause);
}

void RealFileSystem::remove(const QString& path) {
  if (unlinkFile(path) != 0 && errno != ENOENT) throw FileError(QStringLiteral("Cannot remove"), path, lastError());
}

void RealFileSystem::syncFolder(const QString& folder) {
#ifdef Q_OS_WIN
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
