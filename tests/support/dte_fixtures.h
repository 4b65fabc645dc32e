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
  /// Each item's descripcion (obsItem for 08), in order.
  QStringList descriptions;
};

/// Runs tests/support/dte_fixtures.py into `folder` (created when missing):
/// two documents of each of the eleven types (3 and 45 items; one for 09),
/// each validated against the tax authority's schemas on the way. With
/// `signedFiles` they end with "firmaElectronica" and "selloRecibido", as the
/// program stores them. Raises std::runtime_error when the script fails.
std::vector<DteFixture> writeDteFixtures(const QString& folder, bool signedFiles = false);

}  // namespace corvex::test
