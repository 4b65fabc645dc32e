#pragma once

#include "base/app_folder.h"
#include "base/file_system.h"
#include "mail/repeated_failures.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace corvex {

/// How long the poll loop waits after a run ends before the next one starts.
inline constexpr int kPollIntervalMs = 5000;

/// What the running program tells `corvex status`, which cannot see into it:
/// its runs and the documents that keep failing in its memory.
struct RunStatus {
  qint64 pid = 0;
  int intervalSeconds = kPollIntervalMs / 1000;
  /// A run is under way: it started at `runStarted`, and last finished a
  /// document (or started) at `lastBeat`.
  bool running = false;
  QDateTime runStarted;
  QDateTime lastBeat;
  /// The last run that ended: when, and whether normally or by its error path.
  QDateTime lastStarted;
  QDateTime lastEnded;
  bool lastNormal = true;
  QString lastError;
  qsizetype listed = 0;
  qsizetype mailed = 0;
  qsizetype failed = 0;
  /// Every document (or file) whose failure the program keeps repeating.
  QList<RepeatedFailures::Failure> failing;
};

/// The file "status.json" of the Application folder, which the running
/// program rewrites whole (see writeFileReplacing()) when a run starts, at
/// most once a poll interval while it mails, and when it ends; a reader
/// beside it takes no lock and sees one state or the next, never half of
/// one. No mail depends on it, so it is written to the real file system
/// directly, not through the run's (see checked_file.h). Used from the run's
/// own thread.
class RunStatusFile {
 public:
  static constexpr char kFileName[] = "status.json";

  explicit RunStatusFile(const AppFolder& folder);

  /// A run starts at `now`.
  void started(const QDateTime& now);
  /// The run finished a document at `now`; written when a poll interval
  /// passed since the last write.
  void beat(const QDateTime& now);
  /// The run ended at `now`, normally or with `error`, having counted
  /// `listed`, `mailed` and `failed` documents, with `failing` kept failing.
  void ended(const QDateTime& now, bool normal, const QString& error, qsizetype listed, qsizetype mailed,
             qsizetype failed, const QList<RepeatedFailures::Failure>& failing);

 private:
  void write();

  RealFileSystem m_files;
  QString m_path;
  RunStatus m_status;
  QDateTime m_written;
};

/// The status `folder` holds; none when there is no file or it cannot be read.
std::optional<RunStatus> readRunStatus(const AppFolder& folder);

}  // namespace corvex
