#pragma once

#include "base/error.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <system_error>

namespace corvex {

/// A failure the file system reported. Its number follows the cause (61 disk
/// full, 70 permission denied or read-only, 76 path not found, 75 anything
/// else) and its description names the action, the path and the system's own
/// reason. Callers that let one document fail alone catch this type; every
/// other Error keeps its own stance.
class FileError : public Error {
 public:
  FileError(const QString& action, const QString& path, std::error_code cause);
};

/// One file being written, opened by FileSystem::createNew(). Every operation
/// raises FileError when the system refuses it. Closed by close(); a file
/// destroyed unclosed is closed silently (its content is then not to be
/// trusted, and the caller is already on its way out with an error).
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  /// Writes all of `bytes` (a short write is retried until done or refused).
  virtual void append(const QByteArray& bytes) = 0;
  /// Forces what was written onto the disk, where deferred errors surface.
  virtual void sync() = 0;
  virtual void close() = 0;
};

/// The few file operations every checked write is made of (see
/// checked_file.h). Abstract so that a test can fail any one of them on
/// demand; RealFileSystem is the one the program uses. Every operation raises
/// FileError. Implementations are safe to use from several threads at once:
/// the dispatch run writes documents' files on worker threads.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  /// Creates a new file at `path` for writing. Fails when anything stands
  /// there already, so nothing is ever opened through a link or a device.
  virtual std::unique_ptr<WritableFile> createNew(const QString& path) = 0;
  /// Opens the regular file at `path` for appending, creating it when there
  /// is none, readable and writable by its owner alone (on Windows it takes
  /// its folder's access list). A link or anything but a regular file
  /// standing there fails: nothing is ever appended through a link.
  virtual std::unique_ptr<WritableFile> appendTo(const QString& path) = 0;
  /// As createNew(), for a file that holds a secret: readable by its owner
  /// alone from the start (mode 0600; on Windows the folder's access list
  /// decides, as for every file). This default, for fakes, is createNew().
  virtual std::unique_ptr<WritableFile> createPrivate(const QString& path) { return createNew(path); }
  /// Gives the file `from` the name `to` in one step, replacing the entry
  /// standing at `to` (a link there is replaced itself, never followed).
  virtual void rename(const QString& from, const QString& to) = 0;
  /// Removes the entry at `path` (a link itself, not its target); nothing to
  /// do when there is none.
  virtual void remove(const QString& path) = 0;
  /// Makes the names given in `folder` durable (a no-op where the system
  /// has no such thing).
  virtual void syncFolder(const QString& folder) = 0;
};

/// Appends `bytes` to the file at `path`, which is created when missing (its
/// folder is not). Each call's bytes land whole at the file's end, even with
/// other writers appending: for logs, which other processes write too.
/// Nothing is synced, and, as with appendTo(), nothing is appended through a
/// link or to anything but a regular file. False when the file cannot be
/// opened or written.
bool appendToFile(const QString& path, const QByteArray& bytes);

/// The operating system's files.
class RealFileSystem : public FileSystem {
 public:
  std::unique_ptr<WritableFile> createNew(const QString& path) override;
  std::unique_ptr<WritableFile> appendTo(const QString& path) override;
  std::unique_ptr<WritableFile> createPrivate(const QString& path) override;
  void rename(const QString& from, const QString& to) override;
  void remove(const QString& path) override;
  void syncFolder(const QString& folder) override;

 private:
  std::unique_ptr<WritableFile> create(const QString& path, bool ownerOnly);
};

}  // namespace corvex
