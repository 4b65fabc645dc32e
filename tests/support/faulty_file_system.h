#pragma once

#include "base/file_system.h"

#include <map>
#include <mutex>
#include <system_error>

namespace corvex::test {

/// leveldb's ErrorEnv for our files: the real file system, except that the
/// Nth call of one chosen operation fails with a chosen cause, exactly as the
/// real one reports a failure (FileError with the system's text). Safe to
/// share between threads, as the real one is.
class FaultyFileSystem : public FileSystem {
 public:
  enum class Operation { Create, Append, Sync, Close, Rename, Remove, SyncFolder };

  /// Counting from 1, from the moment of this call.
  void failAt(Operation operation, int nth, std::errc cause);
  /// Every removal of `path` after the first `removalsLeft` fails with
  /// "Device or resource busy", as while another program (a virus scanner)
  /// holds the file open; an empty path lets go.
  void holdFile(const QString& path, int removalsLeft);
  /// How often `operation` was called since the last failAt().
  int calls(Operation operation) const;

  std::unique_ptr<WritableFile> createNew(const QString& path) override;
  /// Counts as Create.
  std::unique_ptr<WritableFile> appendTo(const QString& path) override;
  void rename(const QString& from, const QString& to) override;
  void remove(const QString& path) override;
  void syncFolder(const QString& folder) override;

  /// Raises when this call of `operation` is the one chosen to fail.
  void step(Operation operation, const QString& path);

 private:
  RealFileSystem m_real;
  mutable std::mutex m_mutex;
  std::map<Operation, int> m_calls;
  Operation m_failing = Operation::Create;
  int m_failAt = 0;
  std::errc m_cause = std::errc::io_error;
  QString m_held;
  int m_removalsLeft = 0;
};

}  // namespace corvex::test
