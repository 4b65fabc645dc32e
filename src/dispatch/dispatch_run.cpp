#include "dispatch/dispatch_run.h"

#include "base/checked_file.h"
#include "base/error.h"
#include "dispatch/dispatch_texts.h"

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

// Documents are read, and their PDFs given to the drawing threads, a few
// ahead of the one being mailed; everything a document's turn does (writing
// its files, mailing, marking, logging, raising what its reading raised)
// still happens one by one in the view's order. Rows left once sending
// stopped, or once a stop was asked for, stay pending, untouched, for a later
// run; what was read ahead of them is dropped.
void DispatchRun::processPending(RecordSet& pending) {
  const std::size_t readAhead = 2 * std::size_t(m_drawing.threadCount());
  std::deque<DocumentAhead> ahead;
  while (!m_parts.mailer.sendingStopped() && !m_parts.stopRequested()) {
    for (; ahead.size() < readAhead && !pending.eof(); pending.moveNext()) ahead.push_back(readDocument(pending));
    if (ahead.empty()) return;
    processDocument(ahead.front());
    ahead.pop_front();
  }
}

// Trapped: raised again at the document's turn, after those before it.
DispatchRun::DocumentAhead DispatchRun::readDocument(const RecordSet& row) {
  DocumentAhead ahead;
  try {
    ahead.document = PendingDocument::read(row);
    ahead.due = m_parts.mailer.isDue(ahead.document->logLabel());
    if (ahead.due && ahead.document->layout != PendingDocument::Layout::None) {
      DocumentRenderer::Draft draft = m_parts.renderer.draftPdf(rendererLayout(ahead.document->layout),
                                                                ahead.document->serie, ahead.document->numero);
      ahead.pdfPath = draft.pdfPath;
      ahead.pdf = m_drawing.draw(std::move(draft.report));
    }
  } catch (...) {
    ahead.failure = std::current_exception();
  }
  return ahead;
}

void DispatchRun::processDocument(DocumentAhead& ahead) {
  if (!ahead.document) std::rethrow_exception(ahead.failure);
  if (!ahead.due) return;
  const PendingDocument& document = *ahead.document;
  const QString label = document.logLabel();
  const QString json = signedJsonText(document);
  const DocumentFiles files = documentFiles(m_parts.folder, document.idDocumento);
  if (!writeAttachments(ahead, files, json, label)) {
    m_summary.countMail(false);
    return;
  }
  const QString body = coverText(document.tNombre, m_parts.settings.sysEmail, document.nomCorp);
  m_parts.mailer.SendMail(kSubject, body, document.eMail, files.json, files.pdf, label);
  m_summary.countMail(m_parts.mailer.MailSent());
  if (m_parts.mailer.MailSent())
    markMailed(UnmarkedDocument{document.serie, document.numero, document.idDocumento, document.eMail, {}});
  m_parts.files.remove(files.json);
  m_parts.files.remove(files.pdf);
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
// run while the documents after it still go out. JSON travels between
// systems in UTF-8, whatever this machine's code page.
bool DispatchRun::writeAttachments(DocumentAhead& ahead, const DocumentFiles& files, const QString& json,
                                   const QString& label) {
  try {
    // Whatever an interrupted run left under these names must not travel
    // with this mail.
    m_parts.files.remove(files.json);
    m_parts.files.remove(files.pdf);
    writeFileReplacing(m_parts.files, files.json, json.toUtf8() + "\r\n");
    if (ahead.failure) std::rethrow_exception(ahead.failure);
    if (ahead.pdf.valid()) writeFileReplacing(m_parts.files, ahead.pdfPath, ahead.pdf.get());
    return true;
  } catch (const FileError& error) {
    m_parts.log.WriteLog(QStringLiteral("sendDTEbyMail=> %1: %2").arg(label, error.description()));
    discardFiles(files);
    return false;
  }
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
