#include "dte/code_catalogue.h"

#include <QString>

#include <iterator>

namespace corvex {
namespace {

struct Rule {
  const char16_t* member;
  const char16_t* catalogue;
};

// Matched against the end of a member's section; the longest match wins.
constexpr Rule kRules[] = {
    {u"identificacion.ambiente", u"CAT-001"},
    {u"tipoDte", u"CAT-002"},
    {u"documentoRelacionado.tipoDocumento", u"CAT-002"},
    {u"identificacion.tipoModelo", u"CAT-003"},
    {u"identificacion.tipoOperacion", u"CAT-004"},
    {u"identificacion.tipoContingencia", u"CAT-005"},
    {u"codigoRetencionMH", u"CAT-006"},
    {u"tipoGeneracion", u"CAT-007"},
    {u"cuerpoDocumento.tipoDoc", u"CAT-007"},
    {u"tipoEstablecimiento", u"CAT-009"},
    {u"tipoServicio", u"CAT-010"},
    {u"tipoItem", u"CAT-011"},
    {u"tipoItemExpor", u"CAT-011"},
    {u"departamento", u"CAT-012"},
    {u"municipio", u"CAT-013"},
    {u"uniMedida", u"CAT-014"},
    {u"tributos", u"CAT-015"},
    {u"codTributo", u"CAT-015"},
    {u"tributos.codigo", u"CAT-015"},
    {u"condicionOperacion", u"CAT-016"},
    {u"pagos.codigo", u"CAT-017"},
    {u"plazo", u"CAT-018"},
    {u"codActividad", u"CAT-019"},
    {u"codPais", u"CAT-020"},
    {u"codDocAsociado", u"CAT-021"},
    {u"tipoDocumento", u"CAT-022"},
    {u"bienTitulo", u"CAT-025"},
    {u"tipoDonacion", u"CAT-026"},
    {u"recintoFiscal", u"CAT-027"},
    {u"regimen", u"CAT-028"},
    {u"tipoPersona", u"CAT-029"},
    {u"modoTransp", u"CAT-030"},
    {u"codIncoterms", u"CAT-031"},
    {u"codDomiciliado", u"CAT-032"},
};

bool endsWithMember(QStringView section, QStringView member) {
  if (!section.endsWith(member)) return false;
  return section.size() == member.size() || section[section.size() - member.size() - 1] == u'.';
}

}  // namespace

QStringView codeCatalogue(QStringView section) {
  const Rule* best = nullptr;
  for (const Rule& rule : kRules) {
    const QStringView member(rule.member);
    if (endsWithMember(section, member) && (!best || member.size() > QStringView(best->member).size())) best = &rule;
  }
  return best ? QStringView(best->catalogue) : QStringView();
}

}  // namespace corvex
