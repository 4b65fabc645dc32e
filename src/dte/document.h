#pragma once

#include "dte/dte_type.h"
#include "dte/item.h"
#include "dte/party.h"
#include "dte/record.h"

#include <QByteArray>
#include <QDate>
#include <QString>

#include <vector>

namespace corvex {

/// One DTE of any of the eleven types, read from its own JSON: a typed,
/// read-only view whose sections and members are read by name (Record), so
/// that the 2023 schemas and later versions both print.
///
/// Besides the document's own members, a path on the document may start
/// with one of these names, which stand for what differs by type:
///   "issuer", "counterparty"  the parties' sections (DteType::issuer,
///                             DteType::counterparty): "counterparty.nombre"
///   "total", "totalInWords"   DteType::total and DteType::totalInWords
///   "selloRecibido"           the seal (see parse())
/// and on an item, "description" stands for DteType::itemText.
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
  /// The document's total (DteType::total); 0 when it lacks one.
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
