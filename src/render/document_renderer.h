#pragma once

#include "base/app_folder.h"
#include "base/file_system.h"
#include "base/settings.h"
#include "db/database.h"
#include "render/report_objects.h"

#include <QImage>
#include <QString>

namespace corvex {

/// Turns one tax document, named by its series and number, into the PDF the
/// buyer receives: files/ + IdDocumento + ".pdf" below the Application folder.
///
/// Each rendering looks up FESVAmbiente, reads the document's rows over
/// DbConnection (opened here, closed once the renderer's own reads are done),
/// draws the QR code of the public query page into qr/uno.bmp, fills the
/// layout's run-time values and lets the report generate and export itself.
/// Nothing is trapped: every failure is raised, and leaves behind what the
/// step reached left (an open DbConnection after step 4, the QR bitmap after
/// step 7). The folders files/ and qr/ must exist.
///
/// The QR picture and the PDF are written through `files` (see
/// writeFileReplacing()); the previous document's QR picture is removed before
/// a new one is drawn, and a failure to remove or write raises FileError.
///
/// The references must outlive the renderer; `logo` is shared with every PDF.
class DocumentRenderer {
 public:
  enum class Layout { Factura, CreditoFiscal };

  /// A document read and filled in, not drawn yet: its own copy of the
  /// report, so that drawing it (Report::drawPdf()) may happen on another
  /// thread while this renderer goes on with the next document.
  struct Draft {
    QString pdfPath;
    Report report;
  };

  DocumentRenderer(Database& database, const Settings& settings, AppFolder folder, const QImage& logo,
                   FileSystem& files);

  /// The Comprobante de Credito Fiscal layout. Returns the PDF's path.
  QString CreateCreditoFiscalPDF(const QString& serie, qint32 numero);
  /// The Factura layout. Returns the PDF's path.
  QString CreateFacturaPDF(const QString& serie, qint32 numero);
  /// Every step of the two above but the last: the PDF is neither drawn nor
  /// written. Raises what they raise before that step.
  Draft draftPdf(Layout layout, const QString& serie, qint32 numero);
  /// The last step: draws `draft` and writes its PDF through the renderer's
  /// file system.
  QString exportPdf(const Draft& draft);

 private:
  QString CreateDocumentPDF(Layout layout, const QString& serie, qint32 numero);
  QImage drawQrCode(const QString& url) const;

  Database& m_database;
  const Settings& m_settings;
  AppFolder m_folder;
  const QImage& m_logo;
  FileSystem& m_files;
  ReportObjects m_reports;
};

}  // namespace corvex
