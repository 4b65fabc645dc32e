#pragma once

#include "db/record_set.h"

#include <QString>

namespace corvex {

/// One document the view vwDTECorvex lists as pending, read once from its
/// row and handed as one value to the JSON, the renderer, the mail and the
/// marking. Columns are matched without regard to case, so `Serie` is also
/// the `SERIE` of the marking statement.
struct PendingDocument {
  /// The printed layout `Formato` chooses: 40 or 43 Crédito Fiscal, 41 or 44
  /// Factura, anything else (NULL included) none.
  enum class Layout { None, Factura, CreditoFiscal };

  /// Reads the row. Raises 94 (Invalid use of Null) for a NULL in IdDocumento,
  /// SelloRecibido, JSonDTE, JSonFirmado, eMail or Numero, and in Serie when
  /// a layout is chosen; 13 for a Formato or Numero that is no number.
  static PendingDocument read(const RecordSet& row);

  QString idDocumento;
  QString selloRecibido;
  QString jsonDte;
  QString jsonFirmado;
  QString eMail;
  QString tNombre;  ///< NULL read as empty
  QString nomCorp;  ///< NULL read as empty
  QString serie;    ///< NULL read as empty when no layout is chosen
  qint32 numero = 0;
  QString numeroText;  ///< Numero as the view gives it, for the log label
  Layout layout = Layout::None;

  /// Serie, "-", Numero, "--", eMail: how the log names the document.
  QString logLabel() const;
  /// The DTE's type as its JSON names it (identificacion.tipoDte, "01"),
  /// or an empty text when it names none.
  QString tipoDte() const;
};

}  // namespace corvex
