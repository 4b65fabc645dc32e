#pragma once

#include "base/app_folder.h"
#include "base/clock.h"
#include "base/document_files.h"
#include "base/file_system.h"
#include "base/settings.h"
#include "base/status_display.h"
#include "base/worker_pool.h"
#include "db/database.h"
#include "dispatch/dispatch_lock.h"
#include "dispatch/json_document.h"
#include "dispatch/pending_document.h"
#include "dispatch/run_summary.h"
#include "dispatch/unmarked_journal.h"
#include "log/daily_log.h"
#include "mail/mailer.h"
#include "render/document_renderer.h"

#include <deque>
#include <exception>
#include <functional>
#include <future>
#include <optional>

namespace corvex {

/// What one dispatch run works with. Every reference must outlive the run.
struct DispatchParts {
  Database& database;
  DocumentRenderer& renderer;
  Mailer& mailer;
  const Settings& settings;
  AppFolder folder;
  const DailyLog& log;
  const Clock& clock;
  StatusDisplay& display;
  /// Where the JSON file and the journal are written.
  FileSystem& files;
  /// Asked before each document: true ends the run normally there, leaving
  /// the rest pending for the next start.
  std::function<bool()> stopRequested = [] { return false; };
};

/// One pass over the documents the view vwDTECorvex lists as pending, in
/// Fecha order: for each, the signed JSON and the PDF are written to files/,
/// mailed to the buyer, the document is marked as mailed when the mail went
/// out, and both files are deleted.
///
/// Every document is either mailed once and marked, or not mailed and still
/// pending. A document whose files cannot be written (see
/// writeFileReplacing()) is not mailed: one "sendDTEbyMail=> " line with its
/// label and the system's reason, and the run goes on with the next one. A
/// mark that fails after the mail went out is first added to the
/// UnmarkedJournal. Each run begins by marking the journal's documents and
/// ends at once when it cannot, so a document in the journal is never mailed
/// again.
///
/// The run holds DbConnection2 from its start to its normal end; the
/// renderer's own use of DbConnection never disturbs its record set. On SQL
/// Server it first takes the database's dispatch lock (see DispatchLock); a
/// run that cannot get it at once ends normally without touching anything.
///
/// Each document's files are written on the run's worker threads (one per
/// core) while earlier documents are mailed, so `files` and the renderer's
/// export are used from several threads at once; the database, the mailer
/// and the log only from the run's own thread.
class DispatchRun {
 public:
  explicit DispatchRun(DispatchParts parts);

  /// Returns true after a normal end, with "Last Run: " and the end time in
  /// the caption. Any other error ends the run at once: one
  /// "sendDTEbyMail=> " log line, caption "Error", false; rows already mailed
  /// stay marked (or journaled) and DbConnection2 is left as it is. A journal
  /// that cannot be read or whose documents cannot be marked ends the run
  /// before anything is mailed. Either way a run that found documents ends
  /// with one summary line (RunSummary). Never raises.
  bool sendDTEbyMail();

 private:
  /// A pending row read before its turn, its files being written.
  struct DocumentAhead {
    /// Empty when the row could not be read.
    std::optional<PendingDocument> document;
    bool due = false;
    /// What reading it raised, raised again at its turn.
    std::exception_ptr failure;
    DocumentFiles files;
    /// Writes its files; none for a document not due or not read.
    std::function<void()> write;
    /// The worker running `write`; not valid when it waits for its turn.
    std::future<void> written;
  };

  void markJournaled();
  void processPending(RecordSet& pending);
  DocumentAhead readDocument(const RecordSet& row, const std::deque<DocumentAhead>& before);
  void writeFiles(const DocumentFiles& files, const QByteArray& json,
                  const std::optional<DocumentRenderer::Draft>& draft);
  void processDocument(DocumentAhead& ahead);
  QString signedJsonText(const PendingDocument& document);
  bool filesWritten(DocumentAhead& ahead, const QString& label);
  void dropAhead(std::deque<DocumentAhead>& ahead);
  void discardFiles(const DocumentFiles& files);
  void logSummary() const;
  void markMailed(UnmarkedDocument document);
  [[noreturn]] void journalUnmarked(const UnmarkedDocument& document, const Error& markError);

  DispatchParts m_parts;
  DispatchLock m_dispatchLock;
  JsonDocument m_taxDocument;
  JsonDocument m_signedDocument;
  RunSummary m_summary;
  UnmarkedJournal m_journal;
  WorkerPool m_workers;
};

}  // namespace corvex
