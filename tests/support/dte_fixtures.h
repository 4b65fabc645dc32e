#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace corvex::test {

/// One document written by dte_fixtures.py, with what its printed version
/// must show, as the script worked it out from its own data.
struct DteFixture {
  /// The document's file.
  QString path;
  QString tipoDte;
  /// 1 for the 2023 schemas, 2 for those of Normativa v2.0.
  int generation = 1;
  /// CAT-002's name of the type.
  QString typeName;
  int items = 0;
  QString codigoGeneracion;
  QString numeroControl;
  /// The seal: the view's SelloRecibido, and the signed file's selloRecibido.
  QString sello;
  QString issuerName;
  QString issuerNit;
  QString counterpartyName;
  /// The document's total as #,##0.00.
  QString total;
  /// fecEmi as dd/mm/yyyy.
  QString fecEmi;
  /// The public query URL its QR code must carry.
  QString qr;
  /// Each item's descripcion (obsItem for 08, its observaciones in the
  /// second generation), in order.
  QStringList descriptions;
  /// What the second generation adds to the print: observations, renamed
  /// totals (#,##0.00), new facts.
  QStringList facts;
  /// For a document without totalLetras, the program's own words for its
  /// total; blank when the document has its words.
  QString words;
};

/// Runs tests/support/dte_fixtures.py into `folder` (created when missing):
/// two documents of each of the eleven types (3 and 45 items; one for 09) in
/// each generation of the schemas, each validated against the tax
/// authority's schemas on the way. With
/// `signedFiles` they end with "firmaElectronica" and "selloRecibido", as the
/// program stores them. Raises std::runtime_error when the script fails.
std::vector<DteFixture> writeDteFixtures(const QString& folder, bool signedFiles = false);

}  // namespace corvex::test
