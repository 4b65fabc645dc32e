#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <span>

namespace corvex {

/// What printing needs to know of one of the eleven DTE types, apart from
/// its JSON. Where its facts live in each generation of the schemas is
/// FactTable's.
struct DteType {
  /// CAT-002's code ("01").
  QString code;
  /// CAT-002's name, as the catalogue writes it ("Comprobante de crédito fiscal").
  QString name;
  /// False for 09, whose cuerpoDocumento is one object, not a list.
  bool hasItems = true;
  /// The sections without which the document cannot be printed: the ones
  /// the type's schemas require and do not allow to be null, save extension
  /// and otrosDocumentos, which a printed version does without. The parties
  /// go by their facts ("issuer", "counterparty"), named alike in both
  /// generations.
  QStringList requiredSections;
};

/// The eleven types, in CAT-002's order.
std::span<const DteType> dteTypes();

/// The type of `code`; nullptr for a code that is not one of the eleven.
const DteType* findDteType(QStringView code);

}  // namespace corvex
