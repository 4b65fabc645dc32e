#include "dte/dte_type.h"

#include <algorithm>
#include <array>

namespace corvex {
namespace {

const QStringList kSale{"identificacion", "emisor", "receptor", "cuerpoDocumento", "resumen"};
const QStringList kCorrection{"identificacion", "documentoRelacionado", "emisor",
                              "receptor",       "cuerpoDocumento",      "resumen"};

const std::array<DteType, 11>& table() {
  static const std::array<DteType, 11> types{{
      {"01",
       "Factura",
       "emisor",
       "receptor",
       "resumen.totalPagar",
       "resumen.totalLetras",
       "descripcion",
       true,
       {"identificacion", "emisor", "cuerpoDocumento", "resumen"}},
      {"03", "Comprobante de crédito fiscal", "emisor", "receptor", "resumen.totalPagar", "resumen.totalLetras",
       "descripcion", true, kSale},
      {"04", "Nota de remisión", "emisor", "receptor", "resumen.montoTotalOperacion", "resumen.totalLetras",
       "descripcion", true, kSale},
      {"05", "Nota de crédito", "emisor", "receptor", "resumen.montoTotalOperacion", "resumen.totalLetras",
       "descripcion", true, kCorrection},
      {"06", "Nota de débito", "emisor", "receptor", "resumen.montoTotalOperacion", "resumen.totalLetras",
       "descripcion", true, kCorrection},
      {"07", "Comprobante de retención", "emisor", "receptor", "resumen.totalIVAretenido",
       "resumen.totalIVAretenidoLetras", "descripcion", true, kSale},
      {"08", "Comprobante de liquidación", "emisor", "receptor", "resumen.total", "resumen.totalLetras", "obsItem",
       true, kSale},
      {"09",
       "Documento contable de liquidación",
       "emisor",
       "receptor",
       "cuerpoDocumento.liquidoApagar",
       "cuerpoDocumento.totalLetras",
       "",
       false,
       {"identificacion", "emisor", "receptor", "cuerpoDocumento"}},
      {"11",
       "Facturas de exportación",
       "emisor",
       "receptor",
       "resumen.totalPagar",
       "resumen.totalLetras",
       "descripcion",
       true,
       {"identificacion", "emisor", "cuerpoDocumento", "resumen"}},
      {"14",
       "Factura de sujeto excluido",
       "emisor",
       "sujetoExcluido",
       "resumen.totalPagar",
       "resumen.totalLetras",
       "descripcion",
       true,
       {"identificacion", "emisor", "sujetoExcluido", "cuerpoDocumento", "resumen"}},
      {"15",
       "Comprobante de donación",
       "donatario",
       "donante",
       "resumen.valorTotal",
       "resumen.totalLetras",
       "descripcion",
       true,
       {"identificacion", "donatario", "donante", "cuerpoDocumento", "resumen"}},
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
