#include "render/document_renderer.h"

#include "base/document_files.h"
#include "base/error.h"
#include "db/parameters.h"
#include "render/document_texts.h"
#include "render/qr_bitmap.h"

#include <system_error>

namespace corvex {

namespace {

const QString kQrBitmap = QStringLiteral("qr/uno.bmp");

// The QR symbol's error-correction level (H), module size in pixels and
// quiet zone (the generator's minimum of four modules).
constexpr int kQrLevel = 3;
constexpr int kQrModuleSize = 5;
constexpr int kQrBorder = 0;

// The data control's three settings: server-side cursors, no time-outs.
constexpr int kDataCursorLocation = 2;
constexpr int kDataCommandTimeout = 0;
constexpr int kDataConnectionTimeout = 0;

}  // namespace

DocumentRenderer::DocumentRenderer(Database& database, const Settings& settings, AppFolder folder, const QImage& logo,
                                   FileSystem& files)
    : m_database(database),
      m_settings(settings),
      m_folder(folder),
      m_logo(logo),
      m_files(files),
      m_reports(std::move(folder)) {}

QString DocumentRenderer::CreateCreditoFiscalPDF(const QString& serie, qint32 numero) {
  return CreateDocumentPDF(Layout::CreditoFiscal, serie, numero);
}

QString DocumentRenderer::CreateFacturaPDF(const QString& serie, qint32 numero) {
  return CreateDocumentPDF(Layout::Factura, serie, numero);
}

QString DocumentRenderer::CreateDocumentPDF(Layout layout, const QString& serie, qint32 numero) {
  return exportPdf(draftPdf(layout, serie, numero));
}

// One document at a time draws its QR picture: they all share qr/uno.bmp.
QString DocumentRenderer::exportPdf(Draft draft) const {
  {
    const std::lock_guard<std::mutex> lock(m_qrPictureFile);
    draft.report.setPicture(QStringLiteral("QRCode"), drawQrCode(draft.qrText));
  }
  draft.report.exportPdf(m_files, draft.pdfPath);
  return draft.pdfPath;
}

DocumentRenderer::Draft DocumentRenderer::draftPdf(Layout layout, const QString& serie, qint32 numero) {
  const QString environment = GetParameter(m_database, QStringLiteral("FESVAmbiente"));
  const QString statement = documentStatement(serie, numero);
  Report& report = layout == Layout::CreditoFiscal ? m_reports.arSVDTECreditoFiscal() : m_reports.arSVDTEFactura();
  m_database.OpenConnection(QString(), 0);
  std::unique_ptr<RecordSet> rows = m_database.DbConnection().execute(statement);
  const auto field = [&rows](const char* column) { return rows->field(QString::fromLatin1(column)); };

  const DbValue idDocumento = field("IdDocumento");
  const QString url = publicQueryUrl(environment, idDocumento, field("Fecha"));
  // The id names the PDF file: refused before any file is written when it
  // could lead outside files/.
  const QString pdfPath = documentFiles(m_folder, idDocumento.toTextOrEmpty()).pdf;
  report.setLabelText(QStringLiteral("lLetras"), amountLine(field("TOTAL")));
  if (layout == Layout::CreditoFiscal) {
    report.setLabelText(QStringLiteral("lPagare"),
                        promissoryNote(field("tNombre"), field("RAZONSOCIAL"), field("TOTAL"), field("VENCE")));
    report.setLabelText(QStringLiteral("lFechaPagare"), placeAndDate(field("FECHA")));
  }
  const QString stamp = PrintStamp(field("Usuario"), field("Fecha"));
  report.setLabelText(QStringLiteral("lblOInicial"), stamp);
  report.setLabelText(QStringLiteral("lblOActual"), stamp);
  DataRows printed = readDataRows(*rows);
  rows->close();
  m_database.CloseConnection();

  report.setPicture(QStringLiteral("LogCorp"), m_logo);
  report.setLabelText(QStringLiteral("lblMail"), m_settings.sysEmail);
  report.setLabelText(QStringLiteral("lblWeb"), m_settings.sysWeb);
  DataControl& dcRepo = report.dataControl(QStringLiteral("dcRepo"));
  dcRepo.setConnectionString(m_settings.ConnectionString);
  dcRepo.setSource(statement);
  dcRepo.setCursorLocation(kDataCursorLocation);
  dcRepo.setCommandTimeout(kDataCommandTimeout);
  dcRepo.setConnectionTimeout(kDataConnectionTimeout);
  // The layout prints the rows read above instead of running the procedure
  // again for its data control: that cost the server a round trip per
  // document, and could print other rows than the texts were made from.
  report.run(std::move(printed));
  return Draft{idDocumento.toTextOrEmpty(), pdfPath, url, report};
}

// Read back from its file, as printed: what the buyer scans is what the
// folder holds.
QImage DocumentRenderer::drawQrCode(const QString& url) const {
  const QString path = m_folder.path(kQrBitmap);
  // Removed first, and a removal that fails fails the document: a previous
  // document's symbol left in place would send a buyer to another's document.
  m_files.remove(path);
  GenerateBMPW(m_files, path, url, kQrLevel, kQrModuleSize, kQrBorder);
  QImage picture(path);
  // A failure of this document's files like any other write, not of the run.
  if (picture.isNull())
    throw FileError(QStringLiteral("Cannot read back the QR picture"), path, std::make_error_code(std::errc::io_error));
  return picture;
}

}  // namespace corvex
