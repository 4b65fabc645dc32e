#pragma once

#include "base/app_folder.h"

#include <QLockFile>

namespace corvex {

/// One Corvex per Application folder: two instances on one folder would mail
/// every buyer twice and delete each other's files in the middle of a send.
/// The lock is the file "corvex.lock" in the folder, held for the life of
/// this object. A lock whose process no longer runs on this machine (a crash,
/// a power cut) is taken over; one from another machine or a live process is
/// respected however old it is.
class InstanceLock {
 public:
  static constexpr const char* kFileName = "corvex.lock";

  explicit InstanceLock(const AppFolder& folder);

  /// Takes the lock at once or raises: Error kPermissionDenied naming the
  /// process that holds it, or kPathFileAccessError when the lock file cannot
  /// be made at all (the folder is missing or read-only).
  void acquire();

 private:
  QString m_path;
  QLockFile m_lock;
};

}  // namespace corvex
