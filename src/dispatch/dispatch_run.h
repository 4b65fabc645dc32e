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
#include "dispatch/requested_resends.h"
#include "dispatch/run_status.h"
#include "dispatch/run_summary.h"
#include "dispatch/unmarked_journal.h"
#include "log/daily_log.h"
#include "mail/bounce_watch.h"
#include "mail/delivery_ledger.h"
#include "mail/mailer.h"
#include "mail/repeated_failures.h"
#include "render/document_renderer.h"

#include <QHash>
#include <QSet>

#include <deque>
#include <exception>
#include <functional>
#include <future>
#include <memory>
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
  /// Asked before each document is read and again right before each send:
  /// true ends the run normally there, leaving the rest pending for the next
  /// start. A read of the bounce mailbox asks it too, from its own thread.
  std::function<bool()> stopRequested = [] { return false; };
};

/// One pass over the documents the view vwDTECorvex lists as pending, in
/// Fecha order: for each, the signed JSON and the PDF are written to files/,
/// mailed to the buyer, the document is marked as mailed when the mail went
/// out, and both files are deleted.
///
/// Every document is either mailed once and marked, or not mailed and still
/// pending. The PDF comes from the procedure's rows in the two original
/// layouts for Formato 40, 41, 43 and 44, and from the document's own JSON
/// (JSonDTE, in its type's layout) for every other row, or for every row when
/// main.ini says [Render] Source=json. A document whose files cannot be
/// written (see writeFileReplacing()), whose printed rows carry another
/// IdDocumento than the view's, or whose JSON cannot be printed or has
/// another codigoGeneracion than the view's IdDocumento (letter case aside),
/// is not mailed: one "sendDTEbyMail=> " line with its label and the reason,
/// and the run goes on with the next one. A run mails
/// a document (by SERIE and NUMERO) at most once, however often the view
/// lists it.
///
/// Every mail a transport accepted gets its line in the delivery ledger
/// (see DeliveryLedger: the document, the address, the Message-ID, the
/// server's reply, the SHA-256 of each attachment as mailed), on the disk
/// before the document is marked; a line that cannot be written goes to the
/// UnmarkedJournal with its document, the document stays unmarked, the run
/// ends, and the next run writes the line before it marks. Months older than
/// main.ini's [Ledger] KeepMonths are removed once a day.
///
/// A mark is the marking statement changing exactly one row (more are
/// logged, and count as marked). A mark that fails after the mail went out,
/// or that changes no row, is first added to the UnmarkedJournal; a failed
/// statement then ends the run, a mark that changed no row is that
/// document's problem and the run goes on. Each run begins by applying the
/// requests of `corvex resend` (RequestedResends), then marks the journal's
/// documents, ends at once when a statement fails, and never mails a
/// document that stays in the journal.
///
/// The same per-document failure line (files, printed rows, mark, removal)
/// is logged once, then at most hourly with the count of attempts, and once
/// more when it clears (see RepeatedFailures), across the runs of this
/// object. A mailed document's files are removed whatever happens to its
/// mark; a removal that fails is logged and the run goes on, and the run
/// tries it again at its end and at the start of the next run (by the names
/// it kept: nothing else in files/ is touched).
///
/// A database server that leaves a login or a statement unanswered ends the
/// run after that one time-out: nothing more is sent to it in this run (see
/// Connection), and the next run logs in anew.
///
/// The run holds DbConnection2 from its start to its normal end; the
/// renderer's own use of DbConnection never disturbs its record set. On SQL
/// Server it first takes the database's dispatch lock (see DispatchLock); a
/// run that cannot get it at once ends normally without touching anything.
///
/// Each run tells "status.json" (see RunStatusFile) when it starts, while it
/// mails and when it ends, for `corvex status`; at its end it starts a read
/// of the bounce mailbox when one is due (see BounceWatch), which goes on
/// beside the next runs on a thread of its own.
///
/// Each document's files are written on the run's worker threads (one per
/// core) while earlier documents are mailed, so `files` and the renderer's
/// export are used from several threads at once; the database, the mailer
/// and the log only from the run's own thread.
class DispatchRun {
 public:
  explicit DispatchRun(DispatchParts parts);
  ~DispatchRun();
  DispatchRun(const DispatchRun&) = delete;
  DispatchRun& operator=(const DispatchRun&) = delete;

  /// Returns true after a normal end, with "Last Run: " and the end time in
  /// the caption. Any other error ends the run at once: one
  /// "sendDTEbyMail=> " log line, caption "Error", false; rows already mailed
  /// stay marked (or journaled) and DbConnection2 is left as it is. A journal
  /// that cannot be read or whose documents cannot be marked ends the run
  /// before anything is mailed. Either way a run that found documents ends
  /// with one summary line (RunSummary). Never raises.
  bool sendDTEbyMail();

  /// Waits for a read of the bounce mailbox that a run started (see
  /// BounceWatch), for a program that ends after one run.
  void waitForBounces();

 private:
  /// A pending row read before its turn, its files being written.
  struct DocumentAhead {
    /// Empty when the row could not be read.
    std::optional<PendingDocument> document;
    bool due = false;
    /// Why the document fails alone, before any file is written; empty when
    /// it does not.
    QString problem;
    /// What reading it raised, raised again at its turn.
    std::exception_ptr failure;
    DocumentFiles files;
    /// Writes its files; none for a document not due or not read.
    std::function<void()> write;
    /// The worker running `write`; not valid when it waits for its turn.
    std::future<void> written;
  };

  bool dispatch();
  void markJournaled();
  void writeJournaledLedgerLine(const UnmarkedDocument& document);
  void processPending(RecordSet& pending);
  DocumentAhead readDocument(const RecordSet& row, const std::deque<DocumentAhead>& before);
  void prepareWrite(DocumentAhead& ahead, const std::deque<DocumentAhead>& before);
  std::optional<DocumentRenderer::Draft> draftPdf(const PendingDocument& document, QString& problem);
  void noteNewerVersion(const Document& dte);
  void writeFiles(const DocumentFiles& files, const QByteArray& json,
                  const std::optional<DocumentRenderer::Draft>& draft);
  /// A document handed to the mailer, waiting for its outcome.
  struct DocumentMailed {
    UnmarkedDocument document;
    QString label;
    DocumentFiles files;
    QString tipoDte;
    /// Asked for with `corvex resend`.
    bool resend = false;
  };

  bool startDocument(DocumentAhead& ahead);
  void finishDocument();
  void finishMail();
  void finishAll();
  void drainMails();
  void mailed(const DocumentMailed& sent, const MailReceipt& receipt);
  LedgerEntry ledgerLine(const DocumentMailed& sent, const MailReceipt& receipt) const;
  void recordDelivery(UnmarkedDocument document, const LedgerEntry& entry);
  void removeMailedFiles(const DocumentFiles& files);
  void removeLeftovers();
  bool removeFile(const QString& path);
  QString signedJsonText(const PendingDocument& document);
  std::optional<QString> writeFailure(DocumentAhead& ahead);
  void dropAhead(std::deque<DocumentAhead>& ahead);
  void discardFiles(const DocumentFiles& files);
  void endRun(const QString& error);
  QList<RepeatedFailures::Failure> failing() const;
  void pruneLedger();
  bool isTakenInThisRun(const PendingDocument& document);
  void markMailed(const UnmarkedDocument& document);
  qint64 mark(const UnmarkedDocument& document);
  void journalUnmarked(const UnmarkedDocument& document, int number, const QString& cause);
  void logFailure(const QString& key, const QString& line);

  DispatchParts m_parts;
  DispatchLock m_dispatchLock;
  JsonDocument m_taxDocument;
  JsonDocument m_signedDocument;
  RunSummary m_summary;
  UnmarkedJournal m_journal;
  RequestedResends m_resends;
  WorkerPool m_workers;
  /// Per-document failures, by the document's log label or key.
  RepeatedFailures m_failures;
  /// "SERIE-NUMERO" of every document this run mailed, tried or holds in
  /// the journal.
  QSet<QString> m_taken;
  /// The versions later than this program knows that the log already named.
  QSet<QString> m_versionNotes;
  /// Files of mailed documents whose removal failed.
  QSet<QString> m_leftovers;
  struct {
    QString counts;
    QDateTime logged;
    bool idle = false;
  } m_lastSummary;
  /// The documents whose mails are out, by the mailer's ticket.
  QHash<int, DocumentMailed> m_mailing;
  int m_lastTicket = 0;
  std::unique_ptr<DeliveryLedger> m_ledger;
  RunStatusFile m_status;
  /// The day the ledger's old months were last looked at.
  QDate m_lastPrune;
  /// Reads the bounce mailbox on a thread of its own; declared last, so its
  /// read ends before anything it uses goes.
  std::unique_ptr<BounceWatch> m_bounces;
};

}  // namespace corvex
