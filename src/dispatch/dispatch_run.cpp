#include "dispatch/dispatch_run.h"

#include "base/document_files.h"
#include "base/error.h"
#include "dispatch/dispatch_texts.h"

#include <QDir>
#include <QFile>

namespace corvex {

namespace {

const QString kSubject = QStringLiteral("Envío de DTE");

// JSON travels between systems in UTF-8, whatever this machine's code page.
void writeJsonFile(const QString& path, const QString& text) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
    throw Error(kPathNotFound, QStringLiteral("Path not found: %1").arg(QDir::toNativeSeparators(path)));
  const QByteArray bytes = text.toUtf8() + "\r\n";
  if (file.write(bytes) != bytes.size())
    throw Error(kPathNotFound,
                QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
}

// A file that is already gone is no error: a row without PDF must not stop
// the mailing of every row after it.
void deleteScratchFile(const QString& path) {
  if (QFile::exists(path) && !QFile::remove(path))
    throw Error(kPermissionDenied, QStringLiteral("Permission denied: %1").arg(QDir::toNativeSeparators(path)));
}

}  // namespace

DispatchRun::DispatchRun(DispatchParts parts)
    : m_parts(std::move(parts)), m_dispatchLock(m_parts.database, m_parts.log) {}

bool DispatchRun::sendDTEbyMail() {
  // Trapped here, for the whole run: whatever a row raises ends the run.
  try {
    m_parts.database.OpenConnection2(QString(), 0);
    // Another dispatcher works this database: not an error, try next tick.
    if (!m_dispatchLock.acquire()) {
      m_parts.database.CloseConnection2();
      return true;
    }
    std::unique_ptr<RecordSet> pending =
        m_parts.database.DbConnection2().execute(QStringLiteral("SELECT * FROM vwDTECorvex Order By Fecha"));
    processPending(*pending);
    pending->close();
    m_dispatchLock.release();
    m_parts.database.CloseConnection2();
    m_parts.display.setCaption(QStringLiteral("Last Run: ") + formatTimestamp(m_parts.clock.now()));
    return true;
  } catch (const Error& error) {
    m_parts.log.WriteLog(QStringLiteral("sendDTEbyMail=> ") + error.description());
  } catch (const std::exception& error) {
    m_parts.log.WriteLog(QStringLiteral("sendDTEbyMail=> ") + QString::fromUtf8(error.what()));
  }
  m_dispatchLock.releaseQuietly();
  m_parts.display.setCaption(QStringLiteral("Error"));
  return false;
}

void DispatchRun::processPending(RecordSet& pending) {
  for (; !pending.eof() && !m_parts.stopRequested(); pending.moveNext()) processRow(pending);
}

void DispatchRun::processRow(const RecordSet& row) {
  const auto field = [&row](const char* column) { return row.field(QString::fromLatin1(column)); };
  const QString idDocumento = field("IdDocumento").toText();
  const QString selloRecibido = field("SelloRecibido").toText();
  m_taxDocument.LoadJson(field("JSonDTE").toText());
  m_signedDocument.LoadJson(field("JSonFirmado").toText());
  const QString signature = m_signedDocument.GetMemberText(QStringLiteral("body"));
  m_taxDocument.InsertMemberText(JsonDocument::kAfterLastMember, QStringLiteral("firmaElectronica"), signature);
  m_taxDocument.InsertMemberText(JsonDocument::kAfterLastMember, QStringLiteral("selloRecibido"), selloRecibido);
  const DocumentFiles files = documentFiles(m_parts.folder, idDocumento);
  writeJsonFile(files.json, m_taxDocument.ToJsonText());
  renderPdf(row);

  const QString eMail = field("eMail").toText();
  const QString label = logLabel(field("Serie").toTextOrEmpty(), field("Numero").toTextOrEmpty(), eMail);
  const QString body =
      coverText(field("tNombre").toTextOrEmpty(), m_parts.settings.sysEmail, field("NomCorp").toTextOrEmpty());
  m_parts.mailer.SendMail(kSubject, body, eMail, files.json, files.pdf, label);
  if (m_parts.mailer.MailSent())
    m_parts.database.DbConnection2().execute(
        markingStatement(field("SERIE").toTextOrEmpty(), field("Numero").toInt32()));
  deleteScratchFile(files.json);
  deleteScratchFile(files.pdf);
}

void DispatchRun::renderPdf(const RecordSet& row) {
  const DbValue formato = row.field(QStringLiteral("Formato"));
  if (formato.isNull()) return;
  const double code = formato.toNumber();
  const bool creditoFiscal = code == 40 || code == 43;
  if (!creditoFiscal && code != 41 && code != 44) return;
  const QString serie = row.field(QStringLiteral("Serie")).toText();
  const qint32 numero = row.field(QStringLiteral("Numero")).toInt32();
  if (creditoFiscal)
    m_parts.renderer.CreateCreditoFiscalPDF(serie, numero);
  else
    m_parts.renderer.CreateFacturaPDF(serie, numero);
}

}  // namespace corvex
