#pragma once

#include "base/app_folder.h"
#include "base/file_system.h"
#include "base/settings.h"
#include "db/database.h"
#include "dte/document.h"
#include "render/report_objects.h"

#include <QImage>
#include <QString>

#include <mutex>

namespace corvex {

/// Turns one tax document, named by its series and number, into the PDF the
/// buyer receives: files/ + IdDocumento + ".pdf" below the Application folder.
///
/// Each rendering looks up FESVAmbiente, reads the document's rows over
/// DbConnection (opened here, closed once the renderer's own reads are done),
/// fills the layout's run-time values, draws the QR code of the public query
/// page into qr/uno.bmp and lets the report generate and export itself.
/// Nothing is trapped: every failure is raised, and leaves behind what the
/// step reached left (an open DbConnection after step 4, the QR bitmap once
/// drawn). The folders files/ and qr/ must exist.
///
/// The QR picture and the PDF are written through `files` (see
/// writeFileReplacing()); the previous document's QR picture is removed before
/// a new one is drawn, and a failure to remove, write or read it back raises
/// FileError.
///
/// The references must outlive the renderer; `logo` is shared with every PDF.
class DocumentRenderer {
 public:
  enum class Layout { Factura, CreditoFiscal };

  /// A document read and filled in, its QR picture not drawn yet: its own
  /// copy of the report, so that exporting it may happen on another thread
  /// while this renderer reads the next document.
  struct Draft {
    /// The IdDocumento the procedure gives, which the PDF is named after and
    /// the QR symbol leads to.
    QString idDocumento;
    QString pdfPath;
    /// What the QR symbol encodes: the public query page's address.
    QString qrText;
    Report report;
  };

  DocumentRenderer(Database& database, const Settings& settings, AppFolder folder, const QImage& logo,
                   FileSystem& files);

  /// The Comprobante de Credito Fiscal layout. Returns the PDF's path.
  QString CreateCreditoFiscalPDF(const QString& serie, qint32 numero);
  /// The Factura layout. Returns the PDF's path.
  QString CreateFacturaPDF(const QString& serie, qint32 numero);
  /// The steps of the two above that read the database: neither the QR
  /// picture nor the PDF is drawn. Raises what they raise in those steps.
  Draft draftPdf(Layout layout, const QString& serie, qint32 numero);
  /// The steps that draw and write: the QR picture, then the PDF. May run on
  /// any thread, for several drafts at once, beside draftPdf(); returns the
  /// PDF's path.
  QString exportPdf(Draft draft) const;

  /// A DTE printed from its own JSON, in the layout of its type ("arSVDTE" +
  /// tipoDte, see loadLayout()), into files/ + codigoGeneracion + ".pdf";
  /// the database is not read. The total in words is the document's own, or
  /// AmountToWords() of its total where it has none; the QR symbol leads to
  /// the public query page with the ambiente, codigoGeneracion and fecEmi of
  /// its identificacion. Returns the PDF's path.
  QString CreateDtePDF(const Document& document);
  /// The part of CreateDtePDF() that draftPdf() is of the two above. Raises
  /// what loadLayout() raises, 52 for a codigoGeneracion that cannot name a
  /// file.
  Draft draftDtePdf(const Document& document);

 private:
  QString CreateDocumentPDF(Layout layout, const QString& serie, qint32 numero);
  QImage drawQrCode(const QString& url) const;

  mutable std::mutex m_qrPictureFile;

  Database& m_database;
  const Settings& m_settings;
  AppFolder m_folder;
  const QImage& m_logo;
  FileSystem& m_files;
  ReportObjects m_reports;
};

}  // namespace corvex
