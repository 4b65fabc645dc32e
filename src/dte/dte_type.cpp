#include "dte/dte_type.h"

#include <algorithm>
#include <array>

namespace corvex {
namespace {

const QStringList kSale{"identificacion", "issuer", "counterparty", "cuerpoDocumento", "resumen"};
const QStringList kCorrection{"identificacion", "documentoRelacionado", "issuer",
                              "counterparty",   "cuerpoDocumento",      "resumen"};
const QStringList kToAnyone{"identificacion", "issuer", "cuerpoDocumento", "resumen"};

const std::array<DteType, 11>& table() {
  static const std::array<DteType, 11> types{{
      {"01", "Factura", true, kToAnyone},
      {"03", "Comprobante de crédito fiscal", true, kSale},
      {"04", "Nota de remisión", true, kSale},
      {"05", "Nota de crédito", true, kCorrection},
      {"06", "Nota de débito", true, kCorrection},
      {"07", "Comprobante de retención", true, kSale},
      {"08", "Comprobante de liquidación", true, kSale},
      {"09",
       "Documento contable de liquidación",
       false,
       {"identificacion", "issuer", "counterparty", "cuerpoDocumento"}},
      {"11", "Facturas de exportación", true, kToAnyone},
      {"14", "Factura de sujeto excluido", true, kSale},
      {"15", "Comprobante de donación", true, kSale},
  }};
  return types;
}

}  // namespace

std::span<const DteType> dteTypes() { return table(); }

const DteType* findDteType(QStringView code) {
  const auto& types = table();
  const auto it = std::find_if(types.begin(), types.end(), [&](const DteType& type) { return type.code == code; });
  return it == types.end() ? nullptr : &*it;
}

}  // namespace corvex
