#include "dte/party.h"

#include "dte/document_data.h"

#include <QStringList>

namespace corvex {

QString Party::nit() const {
  const QString nit = text(u"nit");
  if (!nit.isEmpty() || text(u"tipoDocumento") != u"36") return nit;
  return text(u"numDocumento");
}

QString Party::documento() const {
  if (!has(u"tipoDocumento")) return nit();
  return text(u"tipoDocumentoNombre") + u' ' + text(u"numDocumento");
}

QString Party::actividad() const {
  const QString code = text(u"codActividad");
  if (data() && !code.isEmpty())
    if (const auto name = data()->catalogues->find(u"CAT-019", code)) return *name;
  return text(u"descActividad");
}

QString Party::direccion() const {
  // An export's receptor carries its address and country as its own members.
  const QStringList parts = has(u"direccion")
                                ? QStringList{text(u"direccion.complemento"), text(u"direccion.distritoNombre"),
                                              text(u"direccion.municipioNombre"), text(u"direccion.departamentoNombre")}
                                : QStringList{text(u"complemento"), text(u"nombrePais")};
  QStringList present;
  for (const QString& part : parts)
    if (!part.isEmpty()) present << part;
  return present.join(QStringLiteral(", "));
}

}  // namespace corvex
