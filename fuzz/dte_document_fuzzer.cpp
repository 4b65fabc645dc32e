// Any text as a DTE's JSON: either refused with the program's Error, or a
// document every view of which reads without crashing, whatever members,
// kinds and codes it holds.
#include "base/error.h"
#include "dte/document.h"

#include <cstddef>
#include <cstdint>

namespace {

const char16_t* const kPaths[] = {
    u"issuer.direccion.municipioNombre",
    u"counterparty.direccion.departamentoNombre",
    u"counterparty.tipoDocumentoNombre",
    u"identificacion.tipoDteNombre",
    u"total",
    u"totalInWords",
    u"selloRecibido",
    u"resumen.tributos.0.codigoNombre",
    u"resumen.pagos.0.plazoNombre",
    u"cuerpoDocumento.0.tributosNombre",
    u"cuerpoDocumento.0.uniMedidaNombre",
    u"documentoRelacionado",
};

void readEverything(const corvex::Document& document) {
  for (const char16_t* path : kPaths) {
    document.text(path);
    document.value(path);
    document.has(path);
  }
  for (const corvex::Party& party : {document.issuer(), document.counterparty()}) {
    party.nit();
    party.documento();
    party.actividad();
    party.direccion();
  }
  for (const corvex::Item& item : document.items()) {
    item.description();
    item.text(u"codTributoNombre");
  }
  for (const corvex::Record& payment : document.list(u"resumen.pagos")) payment.text(u"codigoNombre");
  document.fecEmi();
  document.total();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
  try {
    readEverything(corvex::Document::parse(text));
  } catch (const corvex::Error&) {
  }
  return 0;
}
