#pragma once

#include "dte/dte_type.h"
#include "dte/fact_table.h"
#include "dte/item.h"
#include "dte/party.h"
#include "dte/record.h"

#include <QByteArray>
#include <QDate>
#include <QString>

#include <vector>

namespace corvex {

/// One DTE of any of the eleven types in either generation of the schemas,
/// read from its own JSON: a typed, read-only view whose sections and
/// members are read by name (Record).
///
/// Besides the document's own members, a path may start with the name of a
/// fact of resources/dte/facts.json ("counterparty.nombre", "ivaRetained",
/// on an item "description"), which stands for where that fact lives in the
/// document's type and generation (FactTable); "selloRecibido" on the
/// document is the seal (see parse()).
class Document : public Record {
 public:
  /// Reads `json`, the document's JSON text in UTF-8: the view's JSonDTE, or
  /// a signed file as the program writes it. The seal is `viewSeal` (the
  /// view's SelloRecibido) when it is not blank, else the document's own
  /// "selloRecibido".
  ///
  /// Raises Error 321 (kInvalidFileFormat) when the document cannot be
  /// printed, the description saying why: the text is not a JSON object, it
  /// has no identificacion, its tipoDte is missing or not one of the eleven,
  /// or a section the type requires (DteType::requiredSections) is missing
  /// or of the wrong kind.
  static Document parse(const QByteArray& json, const QString& viewSeal = {});

  const DteType& type() const;
  /// The generation of the schemas the document follows, from its tipoDte
  /// and identificacion.version.
  const Generation& generation() const;
  /// For a version later than any this program knows, the line that says it
  /// is printed with the newest generation's names; blank otherwise.
  QString newerVersionNote() const;

  QString tipoDte() const { return text(u"identificacion.tipoDte"); }
  QString codigoGeneracion() const { return text(u"identificacion.codigoGeneracion"); }
  QString numeroControl() const { return text(u"identificacion.numeroControl"); }
  QString ambiente() const { return text(u"identificacion.ambiente"); }
  QString version() const { return text(u"identificacion.version"); }
  /// fecEmi as a date; invalid when it is missing or not yyyy-MM-dd.
  QDate fecEmi() const;
  QString horEmi() const { return text(u"identificacion.horEmi"); }
  QString sello() const { return text(u"selloRecibido"); }

  Party issuer() const;
  Party counterparty() const;
  /// The cuerpoDocumento list; empty for 09.
  std::vector<Item> items() const;
  /// The document's total (the fact "total"); 0 when it lacks one.
  double total() const;
  /// The total in words as the document writes it; blank when it has none.
  QString totalInWords() const { return text(u"totalInWords"); }

  /// Raises Error 321 naming both codes when the document's
  /// codigoGeneracion is not `idDocumento`, letter case aside: a row whose
  /// JSON is another document's must not be mailed with that data.
  void checkGenerationCode(const QString& idDocumento) const;

 private:
  using Record::Record;
};

}  // namespace corvex
