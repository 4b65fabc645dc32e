#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <span>

namespace corvex {

/// What printing needs to know of one of the eleven DTE types, apart from
/// its JSON: paths are dotted, as Record reads them.
struct DteType {
  /// CAT-002's code ("01").
  QString code;
  /// CAT-002's name, as the catalogue writes it ("Comprobante de crédito fiscal").
  QString name;
  /// The section of the party that issued the document: "emisor", or
  /// "donatario" for 15.
  QString issuer;
  /// The section of the other party: "receptor", "sujetoExcluido" for 14,
  /// "donante" for 15.
  QString counterparty;
  /// The path of the document's total ("resumen.totalPagar").
  QString total;
  /// The path of that total in words ("resumen.totalLetras").
  QString totalInWords;
  /// The member of an item that describes it ("descripcion"; "obsItem" for
  /// 08). Blank for 09, which has no item list.
  QString itemText;
  /// False for 09, whose cuerpoDocumento is one object, not a list.
  bool hasItems = true;
  /// The sections without which the document cannot be printed: the ones
  /// the type's schema requires and does not allow to be null, save
  /// extension and otrosDocumentos, which a printed version does without.
  QStringList requiredSections;
};

/// The eleven types, in CAT-002's order.
std::span<const DteType> dteTypes();

/// The type of `code`; nullptr for a code that is not one of the eleven.
const DteType* findDteType(QStringView code);

}  // namespace corvex
