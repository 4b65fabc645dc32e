#pragma once

#include <QStringView>

namespace corvex {

/// The catalogue ("CAT-012") that names the codes of the member at
/// `section` ("receptor.direccion.departamento"), or a null view when the
/// member holds no catalogued code. The member's place decides: a
/// documentoRelacionado's tipoDocumento is a document type, a party's an
/// identity document. Municipios answer "CAT-013", to be looked up with
/// their departamento.
QStringView codeCatalogue(QStringView section);

}  // namespace corvex
