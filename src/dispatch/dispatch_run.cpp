#include "dispatch/dispatch_run.h"

#include "base/checked_file.h"
#include "base/error.h"
#include "base/file_name.h"
#include "dispatch/dispatch_texts.h"
#include "dte/document.h"

#include <QDir>

#include <algorithm>
#include <deque>

namespace corvex {

namespace {

const QString kSubject = QStringLiteral("Envío de DTE");
constexpr qint64 kSummaryRepeatSeconds = 3600;

DocumentRenderer::Layout rendererLayout(PendingDocument::Layout layout) {
  return layout == PendingDocument::Layout::CreditoFiscal ? DocumentRenderer::Layout::CreditoFiscal
                                                          : DocumentRenderer::Layout::Factura;
}

QString documentKey(const QString& serie, qint32 numero) { return serie + QLatin1Char('-') + QString::number(numero); }

QString documentKey(const UnmarkedDocument& document) { return documentKey(document.serie, document.numero); }

const QString kUnchangedMark = QStringLiteral("its mark changed no row of FACTURAS_ENC");

// The same line from the run that mailed it and from every journal retry,
// so that repeats are recognised as such.
QString unchangedMarkLine(const UnmarkedDocument& document) {
  return QStringLiteral("sendDTEbyMail=> %1: %2; it stays in %3 and is not mailed again")
      .arg(documentKey(document), kUnchangedMark, UnmarkedJournal::kFileName);
}

}  // namespace

DispatchRun::DispatchRun(DispatchParts parts)
    : m_parts(std::move(parts)),
      m_dispatchLock(m_parts.database, m_parts.log),
      m_journal(m_parts.files, m_parts.folder),
      m_resends(m_parts.files, m_parts.folder, m_parts.log),
      m_ledger(std::make_unique<DeliveryLedger>(m_parts.files, m_parts.folder)),
      m_status(m_parts.folder),
      m_bounces(std::make_unique<BounceWatch>(BounceParts{m_parts.settings, m_parts.folder, m_parts.log, m_parts.clock,
                                                          m_parts.files, *m_ledger, m_parts.stopRequested})) {}

DispatchRun::~DispatchRun() = default;

bool DispatchRun::sendDTEbyMail() {
  m_summary = RunSummary();
  m_taken.clear();
  m_status.started(m_parts.clock.now());
  removeLeftovers();
  QString error;
  // Trapped here, for the whole run: whatever a row raises ends the run.
  try {
    const bool dispatched = dispatch();
    endRun(QString());
    if (dispatched) m_parts.display.setCaption(QStringLiteral("Last Run: ") + formatTimestamp(m_parts.clock.now()));
    return true;
  } catch (const Error& failure) {
    error = failure.description();
  } catch (const std::exception& failure) {
    error = QString::fromUtf8(failure.what());
  }
  m_parts.log.WriteLog(QStringLiteral("sendDTEbyMail=> ") + error);
  m_dispatchLock.releaseQuietly();
  endRun(error);
  m_parts.display.setCaption(QStringLiteral("Error"));
  return false;
}

void DispatchRun::waitForBounces() { m_bounces->wait(); }

// The run's work; what it raises ends the run. Another dispatcher at work on
// the database, or a resend being asked for meanwhile, is no error: the run
// ends at once without touching anything (false) and the next tick tries
// again.
bool DispatchRun::dispatch() {
  const Mailer::RunScope mailRun(m_parts.mailer);
  m_parts.database.beginRun();
  m_parts.database.OpenConnection2(QString(), 0);
  if (!m_dispatchLock.acquire()) {
    m_parts.database.CloseConnection2();
    return false;
  }
  std::unique_ptr<ResendRequests::Lock> resendLock = m_resends.apply(m_parts.database.DbConnection2(), m_journal);
  if (!resendLock) {
    m_dispatchLock.release();
    m_parts.database.CloseConnection2();
    return false;
  }
  markJournaled();
  std::unique_ptr<RecordSet> pending =
      m_parts.database.DbConnection2().execute(QStringLiteral("SELECT * FROM vwDTECorvex Order By Fecha"));
  resendLock.reset();
  m_summary.setListed(static_cast<qsizetype>(pending->rowCount()));
  processPending(*pending);
  pending->close();
  m_dispatchLock.release();
  m_parts.database.CloseConnection2();
  return true;
}

// A run that mailed nothing and tells what the previous one told (the same
// document failing every 5 seconds), or that tried nothing after one that
// tried nothing (sending waits while new documents come), is summed up at
// most hourly. `error` is empty after a normal end. The status file tells
// `corvex status` of the run, and a read of the bounce mailbox starts when
// one is due.
void DispatchRun::endRun(const QString& error) {
  removeLeftovers();
  pruneLedger();
  const QDateTime now = m_parts.clock.now();
  m_status.ended(now, error.isEmpty(), error, m_summary.listed(), m_summary.mailed(), m_summary.failed(), failing());
  m_bounces->startIfDue();
  if (!m_summary.hasDocuments()) return;
  const QString counts = m_summary.countsText();
  const bool idle = !m_summary.triedAny();
  const bool same = counts == m_lastSummary.counts || (idle && m_lastSummary.idle);
  const bool repeat = !m_summary.mailedAny() && same && m_lastSummary.logged.secsTo(now) < kSummaryRepeatSeconds;
  if (repeat) return;
  m_lastSummary = {counts, now, idle};
  m_parts.log.WriteLog(m_summary.logText());
}

QList<RepeatedFailures::Failure> DispatchRun::failing() const {
  return m_failures.list() + m_parts.mailer.failures().list();
}

// Months older than main.ini's [Ledger] KeepMonths go, once a day; by
// default every month is kept, since the ledger is the proof of delivery.
void DispatchRun::pruneLedger() {
  const QDate today = m_parts.clock.now().date();
  if (m_parts.settings.LedgerKeepMonths <= 0 || m_lastPrune == today) return;
  m_lastPrune = today;
  // Trapped here: a month that stays is no reason to stop mailing.
  try {
    for (const QString& name : m_ledger->removeBefore(today.addMonths(1 - m_parts.settings.LedgerKeepMonths)))
      m_parts.log.WriteLog(QStringLiteral("sendDTEbyMail=> Removed %1: older than [Ledger] KeepMonths=%2")
                               .arg(name)
                               .arg(m_parts.settings.LedgerKeepMonths));
  } catch (const FileError& error) {
    logFailure(QStringLiteral("[Ledger] KeepMonths"), QStringLiteral("sendDTEbyMail=> ") + error.description());
  }
}

// Mailed before, their marks failed: marked before anything else happens, so
// none of them can be mailed again. An entry leaves only once marked; one
// whose mark still changes no row stays, and this run does not mail it.
void DispatchRun::markJournaled() {
  m_journal.load();
  const QList<UnmarkedDocument> journaled = m_journal.entries();
  for (const UnmarkedDocument& document : journaled) {
    const QString key = documentKey(document);
    writeJournaledLedgerLine(document);
    if (mark(document) == 0) {
      m_taken.insert(key);
      logFailure(key, unchangedMarkLine(document));
      continue;
    }
    m_journal.remove(document.serie, document.numero);
    m_failures.succeeded(key);
    m_parts.log.WriteLog(QStringLiteral("sendDTEbyMail=> Marked from the journal: ") + key);
  }
}

// A line whose write failed when the document was mailed is written before
// the mark, as every ledger line is; once written, the journal lets go of it,
// so it is not written again.
void DispatchRun::writeJournaledLedgerLine(const UnmarkedDocument& document) {
  if (document.ledgerLine.isEmpty()) return;
  if (const std::optional<LedgerEntry> entry = ledgerEntry(document.ledgerLine))
    m_ledger->append(*entry);
  else
    m_parts.log.WriteLog(QStringLiteral("sendDTEbyMail=> %1: the ledger line in %2 is no ledger entry; dropped")
                             .arg(documentKey(document), UnmarkedJournal::kFileName));
  m_journal.ledgerWritten(document.serie, document.numero);
}

// Documents are read a few ahead of the ones being mailed, and their files
// (JSON, QR picture, PDF) written by the worker threads meanwhile. Their
// mails start in the view's order and are handed to the mailer's sessions a
// few ahead too, so that a session always has its next message; each
// document is marked, and its files removed, as soon as its own mail was
// accepted. Rows left once sending stopped, or once a stop was asked for,
// stay pending, untouched, for a later run; the files of documents read
// ahead of them are removed. Whatever ends the run early, the mails still
// out are waited for first, so none that went out is left unmarked.
void DispatchRun::processPending(RecordSet& pending) {
  const int mailsAhead = 3 * m_parts.mailer.sessions();
  const std::size_t readAhead = 2 * std::size_t(m_workers.threadCount()) + std::size_t(mailsAhead);
  std::deque<DocumentAhead> ahead;
  try {
    bool stopAsked = false;
    for (;;) {
      // An answered mail first: its session waits for its mark to go on.
      if (m_parts.mailer.mailFinished()) {
        finishDocument();
        continue;
      }
      const bool starting = !stopAsked && !m_parts.mailer.sendingStopped() && !m_parts.stopRequested();
      for (; starting && ahead.size() < readAhead && !pending.eof() && !m_parts.stopRequested(); pending.moveNext())
        ahead.push_back(readDocument(pending, ahead));
      if (starting && !ahead.empty() && m_parts.mailer.mailsOutstanding() < mailsAhead) {
        stopAsked = !startDocument(ahead.front());
        ahead.pop_front();
      } else if (m_parts.mailer.mailsOutstanding() > 0) {
        finishDocument();
      } else {
        break;
      }
    }
  } catch (...) {
    drainMails();
    dropAhead(ahead);
    throw;
  }
  dropAhead(ahead);
}

// Trapped: raised again at the document's turn, after those before it.
DispatchRun::DocumentAhead DispatchRun::readDocument(const RecordSet& row, const std::deque<DocumentAhead>& before) {
  DocumentAhead ahead;
  try {
    ahead.document = PendingDocument::read(row);
    ahead.document->eMail = m_resends.recipient(ahead.document->serie, ahead.document->numero, ahead.document->eMail);
    const PendingDocument& document = *ahead.document;
    // Only the document's own earlier failures hold it back, so asking
    // before its turn gives the answer its turn would.
    ahead.due = !isTakenInThisRun(document) && m_parts.mailer.isDue(document.logLabel());
    if (!ahead.due) return ahead;
    ahead.files = documentFiles(m_parts.folder, document.idDocumento);
    prepareWrite(ahead, before);
  } catch (const NoAnswerError&) {
    // Nothing more can be marked: the documents read before it stay pending.
    throw;
  } catch (const BadFileNameError& error) {
    // An IdDocumento that names no file (a device, a path) is this row's
    // fault alone, as a file that cannot be written is.
    ahead.problem = QStringLiteral("sendDTEbyMail=> %1: %2").arg(ahead.document->logLabel(), error.description());
  } catch (...) {
    ahead.failure = std::current_exception();
  }
  return ahead;
}

// The document's texts and printed rows are read here, on the run's own
// thread; its files are written by a worker.
void DispatchRun::prepareWrite(DocumentAhead& ahead, const std::deque<DocumentAhead>& before) {
  const PendingDocument& document = *ahead.document;
  // Drafted first: a JSonDTE that is no JSON fails its document alone.
  std::optional<DocumentRenderer::Draft> draft = draftPdf(document, ahead.problem);
  if (!draft) return;
  draft->pdfPath = ahead.files.pdf;
  // JSON travels between systems in UTF-8, whatever this machine's code page.
  QByteArray json = signedJsonText(document).toUtf8() + "\r\n";
  ahead.write = [this, files = ahead.files, json = std::move(json), draft = std::move(draft)] {
    writeFiles(files, json, draft);
  };
  // Two documents with one IdDocumento share their files' names: the later
  // one is written only at its own turn, after the earlier one is done.
  const bool sameFiles = std::any_of(before.begin(), before.end(), [&ahead](const DocumentAhead& earlier) {
    return earlier.document && earlier.files.json == ahead.files.json;
  });
  if (!sameFiles) ahead.written = m_workers.run(ahead.write);
}

// The procedure's rows print the two original layouts; every other row, and
// every row under Source=json, prints from its own JSON. Sets `problem` and
// gives nothing for a document that fails alone: rows or a JSON of another
// document would give this buyer another's PDF and QR code, and a JSON that
// cannot be printed would leave the mail without its PDF.
std::optional<DocumentRenderer::Draft> DispatchRun::draftPdf(const PendingDocument& document, QString& problem) {
  if (document.layout != PendingDocument::Layout::None && m_parts.settings.Source == RenderSource::Procedure) {
    DocumentRenderer::Draft draft =
        m_parts.renderer.draftPdf(rendererLayout(document.layout), document.serie, document.numero);
    if (draft.idDocumento == document.idDocumento) return draft;
    problem = QStringLiteral("sendDTEbyMail=> %1: tovGetFESalvador gives IdDocumento \"%2\", the view \"%3\"")
                  .arg(document.logLabel(), draft.idDocumento, document.idDocumento);
    return std::nullopt;
  }
  try {
    const Document dte = Document::parse(document.jsonDte.toUtf8(), document.selloRecibido);
    dte.checkGenerationCode(document.idDocumento);
    noteNewerVersion(dte);
    return m_parts.renderer.draftDtePdf(dte);
  } catch (const Error& error) {
    problem = QStringLiteral("sendDTEbyMail=> %1: JSonDTE cannot be printed: %2")
                  .arg(document.logLabel(), error.description());
    return std::nullopt;
  }
}

// A version later than this program knows prints with the newest names;
// the log says so once a run for each type and version.
void DispatchRun::noteNewerVersion(const Document& dte) {
  const QString note = dte.newerVersionNote();
  if (note.isEmpty() || m_versionNotes.contains(note)) return;
  m_versionNotes.insert(note);
  m_parts.log.WriteLog(QStringLiteral("sendDTEbyMail=> ") + note);
}

// Runs on a worker thread. Whatever an interrupted run left under these
// names must not travel with this mail, and a document whose files cannot
// be written leaves none behind.
void DispatchRun::writeFiles(const DocumentFiles& files, const QByteArray& json,
                             const std::optional<DocumentRenderer::Draft>& draft) {
  try {
    m_parts.files.remove(files.json);
    m_parts.files.remove(files.pdf);
    writeFileReplacing(m_parts.files, files.json, json);
    if (draft) m_parts.renderer.exportPdf(*draft);
  } catch (const FileError&) {
    discardFiles(files);
    throw;
  }
}

// Listed again (a join in the view), or journaled: mailed at most once.
bool DispatchRun::isTakenInThisRun(const PendingDocument& document) {
  const QString key = documentKey(document.serie, document.numero);
  if (m_taken.contains(key)) {
    m_summary.countRepeat();
    return true;
  }
  m_taken.insert(key);
  return false;
}

// What fails a document before its mail is logged after the mails started
// before it finished, so the log keeps the order of the documents' turns.
// False when a stop was asked for before the send: the document stays
// pending, its files removed.
bool DispatchRun::startDocument(DocumentAhead& ahead) {
  if (ahead.failure) std::rethrow_exception(ahead.failure);
  if (!ahead.due) return true;
  const PendingDocument& document = *ahead.document;
  const QString label = document.logLabel();
  const std::optional<QString> failure = ahead.problem.isEmpty() ? writeFailure(ahead) : ahead.problem;
  if (failure) {
    finishAll();
    logFailure(label, *failure);
    m_summary.countMail(false);
    return true;
  }
  if (m_parts.stopRequested()) {
    discardFiles(ahead.files);
    return false;
  }
  const QString body = coverText(document.tNombre, m_parts.settings.sysEmail, document.nomCorp);
  const int ticket = ++m_lastTicket;
  m_mailing.insert(
      ticket,
      DocumentMailed{UnmarkedDocument{document.serie, document.numero, document.idDocumento, document.eMail, {}}, label,
                     ahead.files, document.tipoDte(), m_resends.isResend(document.serie, document.numero)});
  m_parts.mailer.startMail(ticket, kSubject, body, document.eMail, ahead.files.json, ahead.files.pdf, label,
                           documentKey(document.serie, document.numero));
  return true;
}

// A mail whose outcome cannot be handled (its mark failed, say) ends the
// run there: the mails handed over after it do not start, as they would not
// have one at a time.
void DispatchRun::finishDocument() {
  try {
    finishMail();
  } catch (...) {
    m_parts.mailer.stopSending();
    throw;
  }
}

// Whatever happens to the mark, a mailed buyer's data leaves files/.
void DispatchRun::finishMail() {
  const Mailer::FinishedMail finished = m_parts.mailer.finishMail();
  const DocumentMailed sent = m_mailing.take(finished.ticket);
  if (finished.tried) m_summary.countMail(finished.sent);
  m_status.beat(m_parts.clock.now());
  try {
    if (finished.sent) mailed(sent, finished.receipt);
  } catch (...) {
    removeMailedFiles(sent.files);
    throw;
  }
  m_parts.mailer.settle(finished.ticket);
  removeMailedFiles(sent.files);
}

void DispatchRun::finishAll() {
  while (m_parts.mailer.mailsOutstanding() > 0) finishDocument();
}

// The run ends with the error that brought it here. The mails handed over
// before it still finish (see finishDocument() for those that do not
// start), and each one sent is marked or journaled all the same; what stands
// in the way is logged.
void DispatchRun::drainMails() {
  while (m_parts.mailer.mailsOutstanding() > 0) {
    try {
      finishDocument();
    } catch (const Error& error) {
      m_parts.log.WriteLog(QStringLiteral("sendDTEbyMail=> ") + error.description());
    } catch (const std::exception& error) {
      m_parts.log.WriteLog(QStringLiteral("sendDTEbyMail=> ") + QString::fromUtf8(error.what()));
    }
  }
}

void DispatchRun::mailed(const DocumentMailed& sent, const MailReceipt& receipt) {
  if (const QString cleared = m_failures.succeeded(sent.label); !cleared.isEmpty()) m_parts.log.WriteLog(cleared);
  m_resends.mailed(sent.document.serie, sent.document.numero);
  UnmarkedDocument document = sent.document;
  document.mailedAt = formatTimestamp(m_parts.clock.now());
  recordDelivery(document, ledgerLine(sent, receipt));
  markMailed(document);
}

LedgerEntry DispatchRun::ledgerLine(const DocumentMailed& sent, const MailReceipt& receipt) const {
  const UnmarkedDocument& document = sent.document;
  LedgerEntry entry;
  entry.time = m_parts.clock.now();
  entry.serie = document.serie;
  entry.numero = document.numero;
  entry.idDocumento = document.idDocumento;
  entry.tipoDte = sent.tipoDte;
  entry.to = document.eMail;
  entry.messageId = receipt.messageId;
  entry.envelopeId = receipt.envelopeId;
  entry.transport = receipt.transport;
  entry.reply = receipt.reply;
  entry.attachments = receipt.attachments;
  entry.resend = sent.resend;
  return entry;
}

// The line is on the disk before the mark, so every marked document has its
// line whatever kills the program. A line that cannot be written waits in
// the journal with the document, which this run then does not mark: the
// next run writes the line first, then marks.
void DispatchRun::recordDelivery(UnmarkedDocument document, const LedgerEntry& entry) {
  try {
    m_ledger->append(entry);
  } catch (const FileError& ledgerError) {
    document.ledgerLine = ledgerObject(entry);
    journalUnmarked(document, ledgerError.number(), ledgerError.description());
    throw Error(ledgerError.number(),
                QStringLiteral("%1 (%2 was mailed; its ledger line and its mark wait in %3)")
                    .arg(ledgerError.description(), documentKey(document), UnmarkedJournal::kFileName));
  }
}

// A removal that fails (a virus scanner or an indexer holding the file) is no
// reason to stop dispatching: the name is kept and tried again at the run's
// end and at the next run's start.
void DispatchRun::removeMailedFiles(const DocumentFiles& files) {
  for (const QString& path : {files.json, files.pdf}) {
    if (!removeFile(path)) m_leftovers.insert(path);
  }
}

void DispatchRun::removeLeftovers() {
  const QSet<QString> paths = m_leftovers;
  for (const QString& path : paths) {
    if (!removeFile(path)) continue;
    m_leftovers.remove(path);
    if (!m_failures.succeeded(path).isEmpty())
      m_parts.log.WriteLog(QStringLiteral("sendDTEbyMail=> Removed at last: ") + QDir::toNativeSeparators(path));
  }
}

// False, with the failure logged, when the file is still there.
bool DispatchRun::removeFile(const QString& path) {
  try {
    m_parts.files.remove(path);
    return true;
  } catch (const FileError& error) {
    logFailure(path, QStringLiteral("sendDTEbyMail=> ") + error.description());
    return false;
  }
}

// The tax document as generated, with the signature and the seal appended.
QString DispatchRun::signedJsonText(const PendingDocument& document) {
  m_taxDocument.LoadJson(document.jsonDte);
  m_signedDocument.LoadJson(document.jsonFirmado);
  const QString signature = m_signedDocument.GetMemberText(QStringLiteral("body"));
  m_taxDocument.InsertMemberText(JsonDocument::kAfterLastMember, QStringLiteral("firmaElectronica"), signature);
  m_taxDocument.InsertMemberText(JsonDocument::kAfterLastMember, QStringLiteral("selloRecibido"),
                                 document.selloRecibido);
  return m_taxDocument.ToJsonText();
}

// A document whose files cannot be written fails alone and before anything
// is mailed: it stays pending for the next run while the documents after it
// still go out. Returns the line to log, with the system's reason.
std::optional<QString> DispatchRun::writeFailure(DocumentAhead& ahead) {
  try {
    if (ahead.written.valid())
      ahead.written.get();
    else
      ahead.write();
    return std::nullopt;
  } catch (const FileError& error) {
    return QStringLiteral("sendDTEbyMail=> %1: %2").arg(ahead.document->logLabel(), error.description());
  }
}

// What a worker is still writing for a document that will not be mailed in
// this run is waited for, then removed.
void DispatchRun::dropAhead(std::deque<DocumentAhead>& ahead) {
  for (DocumentAhead& document : ahead) {
    if (!document.written.valid()) continue;
    document.written.wait();
    discardFiles(document.files);
  }
  ahead.clear();
}

void DispatchRun::discardFiles(const DocumentFiles& files) {
  // Trapped: the failure already logged is the one that counts, and the next
  // run removes what is left before it writes.
  try {
    m_parts.files.remove(files.json);
    m_parts.files.remove(files.pdf);
  } catch (const FileError&) {
  }
}

// The buyer has the mail: when its mark fails or changes nothing, only the
// journal keeps the next run from mailing it again, so the entry is written
// before anything else. A mark that changed no row says nothing about the
// database, so the run goes on.
void DispatchRun::markMailed(const UnmarkedDocument& document) {
  qint64 changed = 0;
  try {
    changed = mark(document);
  } catch (const Error& markError) {
    journalUnmarked(document, markError.number(), markError.description());
    throw Error(markError.number(),
                QStringLiteral("%1 (%2 was mailed; its mark waits in %3)")
                    .arg(markError.description(), documentKey(document), UnmarkedJournal::kFileName));
  }
  if (changed > 0) return;
  journalUnmarked(document, kDatabaseError, kUnchangedMark);
  logFailure(documentKey(document), unchangedMarkLine(document));
}

// The rows the marking statement changed; raises the database's errors.
qint64 DispatchRun::mark(const UnmarkedDocument& document) {
  const qint64 changed =
      m_parts.database.DbConnection2().executeUpdate(markingStatement(document.serie, document.numero));
  if (changed > 1)
    m_parts.log.WriteLog(QStringLiteral("sendDTEbyMail=> %1: its mark changed %2 rows of FACTURAS_ENC (the key "
                                        "matched several); counted as marked")
                             .arg(documentKey(document))
                             .arg(changed));
  return changed;
}

// Raises Error(number), naming the document and `cause`, when the entry
// cannot be written.
void DispatchRun::journalUnmarked(const UnmarkedDocument& document, int number, const QString& cause) {
  try {
    m_journal.add(document);
  } catch (const FileError& journalError) {
    throw Error(number, QStringLiteral("%1 (%2 was mailed but could not be journaled: %3)")
                            .arg(cause, documentKey(document), journalError.description()));
  }
}

// A failure that comes back on every run is logged once, then hourly.
void DispatchRun::logFailure(const QString& key, const QString& line) {
  const QString text = m_failures.failed(key, line, false, m_parts.clock.now());
  if (!text.isEmpty()) m_parts.log.WriteLog(text);
}

}  // namespace corvex
