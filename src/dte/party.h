#pragma once

#include "dte/record.h"

namespace corvex {

/// One party of a DTE (emisor, receptor, sujetoExcluido, donante,
/// donatario, the tercero of ventaTercero): its usual members, each blank
/// when the document lacks it. Any other member is read through Record.
class Party : public Record {
 public:
  Party() = default;
  explicit Party(const Record& record) : Record(record) {}

  QString nombre() const { return text(u"nombre"); }
  /// The party's NIT: "nit", or "numDocumento" when its identity document
  /// is a NIT (tipoDocumento 36), as for the donatario and most receptores
  /// of 04, 07 and 15. Blank when it has neither.
  QString nit() const;
  QString nrc() const { return text(u"nrc"); }
  /// The identity document as printed: its kind's name and its number
  /// ("DUI 01234567-8"); the NIT when the party has no tipoDocumento.
  QString documento() const;
  QString nombreComercial() const { return text(u"nombreComercial"); }
  /// CAT-019's name of the party's activity, or the document's own
  /// descActividad when the catalogue lacks the code.
  QString actividad() const;
  /// The address on one line: complemento, distrito (second generation; as
  /// its code, which no catalogue names), municipio, departamento, the names
  /// of the last two from the catalogue; blank parts left out.
  QString direccion() const;
  QString telefono() const { return text(u"telefono"); }
  QString correo() const { return text(u"correo"); }
};

}  // namespace corvex
