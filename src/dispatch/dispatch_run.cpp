#include "dispatch/dispatch_run.h"

#include "base/checked_file.h"
#include "base/error.h"
#include "dispatch/dispatch_texts.h"

#include <algorithm>
#include <deque>

namespace corvex {

namespace {

const QString kSubject = QStringLiteral("Envío de DTE");

DocumentRenderer::Layout rendererLayout(PendingDocument::Layout layout) {
  return layout == PendingDocument::Layout::CreditoFiscal ? DocumentRenderer::Layout::CreditoFiscal
                                                          : DocumentRenderer::Layout::Factura;
}

QString documentKey(const UnmarkedDocument& document) {
  return document.serie + QLatin1Char('-') + QString::number(document.numero);
}

}  // namespace

DispatchRun::DispatchRun(DispatchParts parts)
    : m_parts(std::move(parts)),
      m_dispatchLock(m_parts.database, m_parts.log),
      m_journal(m_parts.files, m_parts.folder) {}

bool DispatchRun::sendDTEbyMail() {
  m_summary = RunSummary();
  // Trapped here, for the whole run: whatever a row raises ends the run.
  try {
    const Mailer::RunScope mailRun(m_parts.mailer);
    m_parts.database.OpenConnection2(QString(), 0);
    // Another dispatcher works this database: not an error, try next tick.
    if (!m_dispatchLock.acquire()) {
      m_parts.database.CloseConnection2();
      return true;
    }
    markJournaled();
    std::unique_ptr<RecordSet> pending =
        m_parts.database.DbConnection2().execute(QStringLiteral("SELECT * FROM vwDTECorvex Order By Fecha"));
    m_summary.setListed(static_cast<qsizetype>(pending->rowCount()));
    processPending(*pending);
    pending->close();
    m_dispatchLock.release();
    m_parts.database.CloseConnection2();
    logSummary();
    m_parts.display.setCaption(QStringLiteral("Last Run: ") + formatTimestamp(m_parts.clock.now()));
    return true;
  } catch (const Error& error) {
    m_parts.log.WriteLog(QStringLiteral("sendDTEbyMail=> ") + error.description());
  } catch (const std::exception& error) {
    m_parts.log.WriteLog(QStringLiteral("sendDTEbyMail=> ") + QString::fromUtf8(error.what()));
  }
  m_dispatchLock.releaseQuietly();
  logSummary();
  m_parts.display.setCaption(QStringLiteral("Error"));
  return false;
}

void DispatchRun::logSummary() const {
  if (m_summary.hasDocuments()) m_parts.log.WriteLog(m_summary.logText());
}

// Mailed before, their marks failed: marked before anything else happens, so
// none of them can be mailed again. An entry leaves only once marked.
void DispatchRun::markJournaled() {
  m_journal.load();
  const QList<UnmarkedDocument> journaled = m_journal.entries();
  for (const UnmarkedDocument& document : journaled) {
    m_parts.database.DbConnection2().execute(markingStatement(document.serie, document.numero));
    m_journal.remove(document.serie, document.numero);
    m_parts.log.WriteLog(QStringLiteral("sendDTEbyMail=> Marked from the journal: ") + documentKey(document));
  }
}

// Documents are read a few ahead of the one being mailed, and their files
// (JSON, QR picture, PDF) written by the worker threads meanwhile;
// everything a document's turn does (mailing, marking, logging, raising what
// its reading or writing raised) still happens one by one in the view's
// order. Rows left once sending stopped, or once a stop was asked for, stay
// pending, untouched, for a later run; the files of documents read ahead of
// them are removed.
void DispatchRun::processPending(RecordSet& pending) {
  const std::size_t readAhead = 2 * std::size_t(m_workers.threadCount());
  std::deque<DocumentAhead> ahead;
  try {
    while (!m_parts.mailer.sendingStopped() && !m_parts.stopRequested()) {
      for (; ahead.size() < readAhead && !pending.eof(); pending.moveNext())
        ahead.push_back(readDocument(pending, ahead));
      if (ahead.empty()) break;
      processDocument(ahead.front());
      ahead.pop_front();
    }
  } catch (...) {
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
    const PendingDocument& document = *ahead.document;
    // Only the document's own earlier failures hold it back, so asking
    // before its turn gives the answer its turn would.
    ahead.due = m_parts.mailer.isDue(document.logLabel());
    if (!ahead.due) return ahead;
    ahead.files = documentFiles(m_parts.folder, document.idDocumento);
    // JSON travels between systems in UTF-8, whatever this machine's code page.
    QByteArray json = signedJsonText(document).toUtf8() + "\r\n";
    std::optional<DocumentRenderer::Draft> draft;
    if (document.layout != PendingDocument::Layout::None)
      draft = m_parts.renderer.draftPdf(rendererLayout(document.layout), document.serie, document.numero);
    ahead.write = [this, files = ahead.files, json = std::move(json), draft = std::move(draft)] {
      writeFiles(files, json, draft);
    };
    // A document listed twice shares its files' names with the earlier
    // one: written only at its own turn, after the earlier one is done.
    const bool sameFiles = std::any_of(before.begin(), before.end(), [&ahead](const DocumentAhead& earlier) {
      return earlier.document && earlier.files.json == ahead.files.json;
    });
    if (!sameFiles) ahead.written = m_workers.run(ahead.write);
  } catch (...) {
    ahead.failure = std::current_exception();
  }
  return ahead;
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

void DispatchRun::processDocument(DocumentAhead& ahead) {
  if (ahead.failure) std::rethrow_exception(ahead.failure);
  if (!ahead.due) return;
  const PendingDocument& document = *ahead.document;
  const QString label = document.logLabel();
  if (!filesWritten(ahead, label)) {
    m_summary.countMail(false);
    return;
  }
  const QString body = coverText(document.tNombre, m_parts.settings.sysEmail, document.nomCorp);
  m_parts.mailer.SendMail(kSubject, body, document.eMail, ahead.files.json, ahead.files.pdf, label);
  m_summary.countMail(m_parts.mailer.MailSent());
  if (m_parts.mailer.MailSent())
    markMailed(UnmarkedDocument{document.serie, document.numero, document.idDocumento, document.eMail, {}});
  m_parts.files.remove(ahead.files.json);
  m_parts.files.remove(ahead.files.pdf);
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
// is mailed: logged with the system's reason, it stays pending for the next
// run while the documents after it still go out.
bool DispatchRun::filesWritten(DocumentAhead& ahead, const QString& label) {
  try {
    if (ahead.written.valid())
      ahead.written.get();
    else
      ahead.write();
    return true;
  } catch (const FileError& error) {
    m_parts.log.WriteLog(QStringLiteral("sendDTEbyMail=> %1: %2").arg(label, error.description()));
    return false;
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

// The buyer has the mail: when its mark fails, only the journal keeps the next
// run from mailing it again, so the entry is written before anything else.
void DispatchRun::markMailed(UnmarkedDocument document) {
  try {
    m_parts.database.DbConnection2().execute(markingStatement(document.serie, document.numero));
  } catch (const Error& markError) {
    document.mailedAt = formatTimestamp(m_parts.clock.now());
    journalUnmarked(document, markError);
  }
}

void DispatchRun::journalUnmarked(const UnmarkedDocument& document, const Error& markError) {
  try {
    m_journal.add(document);
  } catch (const FileError& journalError) {
    throw Error(markError.number(),
                QStringLiteral("%1 (%2 was mailed but could not be journaled: %3)")
                    .arg(markError.description(), documentKey(document), journalError.description()));
  }
  throw Error(markError.number(), QStringLiteral("%1 (%2 was mailed; its mark waits in %3)")
                                      .arg(markError.description(), documentKey(document), UnmarkedJournal::kFileName));
}

}  // namespace corvex
