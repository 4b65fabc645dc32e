#include "dte/document.h"

#include "dte_fixture_set.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace corvex {
namespace {

using nlohmann::json;

Document parsed(const json& document) { return Document::parse(QByteArray::fromStdString(document.dump())); }

Document fixtureDocument(const char* file) { return parsed(test::fixtureJson(QString::fromLatin1(file))); }

struct Name {
  const char* file;
  const char16_t* path;
  const char* expected;
};

// The fixtures' codes, as the catalogue names them.
const Name kNames[] = {
    {"01-3.json", u"identificacion.tipoDteNombre", "Factura"},
    {"01-3.json", u"identificacion.ambienteNombre", "Modo prueba"},
    {"01-3.json", u"identificacion.tipoOperacionNombre", "Transmisión normal"},
    {"01-3.json", u"identificacion.tipoModeloNombre", "Modelo Facturación previo"},
    {"01-3.json", u"receptor.direccion.departamentoNombre", "San Salvador"},
    {"01-3.json", u"counterparty.direccion.municipioNombre", "SAN SALVADOR"},
    {"01-3.json", u"receptor.tipoDocumentoNombre", "DUI"},
    {"01-3.json", u"resumen.condicionOperacionNombre", "Contado"},
    {"01-3.json", u"resumen.pagos.0.codigoNombre", "Billetes y monedas"},
    {"01-3.json", u"resumen.pagos.1.codigoNombre", "Tarjeta Débito"},
    {"01-3.json", u"cuerpoDocumento.0.uniMedidaNombre", "Otra"},
    {"01-3.json", u"cuerpoDocumento.1.uniMedidaNombre", "Unidad"},
    {"01-3.json", u"cuerpoDocumento.1.tipoItemNombre", "Bienes"},
    {"01-3.json", u"emisor.tipoEstablecimientoNombre", "Casa Matriz"},
    {"03-3.json", u"cuerpoDocumento.1.tributosNombre", "Impuesto al Valor Agregado 13%"},
    {"03-3.json", u"resumen.tributos.0.codigoNombre", "Impuesto al Valor Agregado 13%"},
    {"03-3.json", u"receptor.codActividadNombre", "Cultivo de café"},
    {"03-45.json", u"resumen.condicionOperacionNombre", "A crédito"},
    {"03-45.json", u"resumen.pagos.0.plazoNombre", "Días"},
    {"03-45.json", u"resumen.pagos.0.codigoNombre", "Transferencia-Depósito Bancario"},
    {"03-45.json", u"documentoRelacionado.0.tipoDocumentoNombre", "Nota de remisión"},
    {"03-45.json", u"documentoRelacionado.0.tipoGeneracionNombre", "Electrónico"},
    {"03-45.json", u"otrosDocumentos.0.codDocAsociadoNombre", "Emisor"},
    {"04-3.json", u"receptor.bienTituloNombre", "Traslado"},
    {"04-3.json", u"receptor.tipoDocumentoNombre", "NIT"},
    {"05-3.json", u"documentoRelacionado.1.tipoDocumentoNombre", "Comprobante de crédito fiscal"},
    {"07-3.json", u"cuerpoDocumento.0.codigoRetencionMHNombre", "Retención IVA 1%"},
    {"07-3.json", u"cuerpoDocumento.0.tipoDteNombre", "Comprobante de crédito fiscal"},
    {"07-3.json", u"cuerpoDocumento.0.tipoDocNombre", "Electrónico"},
    {"11-45.json", u"emisor.recintoFiscalNombre", "Marítima de Acajutla"},
    {"11-45.json", u"emisor.regimenNombre", "Exportación Definitiva, Exportación Definitiva, Régimen Común"},
    {"11-45.json", u"emisor.tipoItemExporNombre", "Bienes"},
    {"11-45.json", u"resumen.codIncotermsNombre", "FOB-Libre a bordo"},
    {"11-45.json", u"otrosDocumentos.0.modoTranspNombre", "MARÍTIMO"},
    {"11-45.json", u"receptor.tipoPersonaNombre", "Persona Jurídica"},
    {"11-45.json", u"receptor.tipoDocumentoNombre", "Otro"},
    {"11-45.json", u"receptor.codPaisNombre", "Estados Unidos"},
    {"11-45.json", u"otrosDocumentos.0.codDocAsociadoNombre", "Transporte"},
    {"11-45.json", u"cuerpoDocumento.1.uniMedidaNombre", "Kilogramo"},
    {"14-3.json", u"sujetoExcluido.direccion.departamentoNombre", "Santa Ana"},
    {"14-3.json", u"counterparty.direccion.municipioNombre", "METAPÁN"},
    {"15-3.json", u"cuerpoDocumento.0.tipoDonacionNombre", "Bien"},
    {"15-3.json", u"cuerpoDocumento.2.tipoDonacionNombre", "Efectivo"},
    {"15-3.json", u"donante.codDomiciliadoNombre", "Domiciliado"},
    {"15-3.json", u"donante.codPaisNombre", "9300"},
    {"15-3.json", u"issuer.tipoDocumentoNombre", "NIT"},
    {"15-3.json", u"issuer.codActividadNombre", "Actividades de asociaciones n.c.p."},
};

TEST(RecordTest, CataloguedCodesReadAsTheirNames) {
  for (const Name& name : kNames) {
    SCOPED_TRACE(name.file + std::string(" ") + QString::fromUtf16(name.path).toStdString());
    EXPECT_EQ(fixtureDocument(name.file).text(name.path).toStdString(), name.expected);
  }
}

TEST(RecordTest, MunicipiosOfBeforeAndAfter2024BothHaveNamesAndAnUnknownOneReadsAsItsCode) {
  json document = test::fixtureJson(QStringLiteral("01-3.json"));
  const char* codes[][2] = {{"23", "SAN SALVADOR CENTRO"}, {"19", "CIUDAD DELGADO"}, {"77", "77"}};
  for (const auto& [code, expected] : codes) {
    document["receptor"]["direccion"]["municipio"] = code;
    EXPECT_EQ(parsed(document).text(u"receptor.direccion.municipioNombre"), QString::fromUtf8(expected)) << code;
  }
  document["receptor"]["direccion"]["departamento"] = "99";
  EXPECT_EQ(parsed(document).text(u"receptor.direccion.departamentoNombre"), QStringLiteral("99"));
}

TEST(RecordTest, MembersAreReadByNameUnknownOnesIgnoredMissingOnesBlank) {
  json document = test::fixtureJson(QStringLiteral("03-3.json"));
  document["identificacion"]["version"] = 4;
  document["identificacion"]["campoNuevo"] = {{"a", 1}};
  document["seccionNueva"] = json::array({1, 2});
  document["resumen"].erase("totalLetras");
  document["receptor"].erase("nombreComercial");
  document["extension"] = nullptr;
  const Document read = parsed(document);
  EXPECT_EQ(read.version(), QStringLiteral("4"));
  EXPECT_EQ(read.totalInWords(), QString());
  EXPECT_EQ(read.counterparty().nombreComercial(), QString());
  EXPECT_FALSE(read.has(u"extension"));
  EXPECT_FALSE(read.has(u"extension.observaciones"));
  EXPECT_FALSE(read.value(u"resumen.noSuchTotal").isValid());
  EXPECT_EQ(read.text(u"cuerpoDocumento.99.descripcion"), QString());
  EXPECT_EQ(read.text(u"resumen.tributos"), QString());
  EXPECT_EQ(read.value(u"resumen.tributos.0.valor").typeId(), QMetaType::Double);
  EXPECT_FALSE(read.has(u"documentoRelacionado"));
  EXPECT_TRUE(read.has(u"apendice") == document["apendice"].is_array());
}

TEST(RecordTest, ListsGiveTheirObjectsWithTheirOwnPaths) {
  const Document document = fixtureDocument("01-45.json");
  const std::vector<Record> payments = document.list(u"resumen.pagos");
  ASSERT_EQ(payments.size(), 2u);
  EXPECT_EQ(payments[0].text(u"codigoNombre"), QStringLiteral("Billetes y monedas"));
  EXPECT_EQ(payments[0].section(), QStringLiteral("resumen.pagos"));
  const std::vector<Item> items = document.items();
  ASSERT_EQ(items.size(), 45u);
  EXPECT_EQ(items[44].numItem(), 45);
  EXPECT_EQ(items[44].text(u"description"), items[44].text(u"descripcion"));
  EXPECT_EQ(document.record(u"ventaTercero").text(u"nombre"),
            QStringLiteral("Comercializadora Santaneca Peñate, S.A."));
  EXPECT_TRUE(document.list(u"identificacion").empty());
}

// The issuer's system may write the items in any order; their numbers say
// which. An element without a number keeps its place.
TEST(RecordTest, ItemsComeInTheOrderOfTheirNumbers) {
  json document = test::fixtureJson(QStringLiteral("01-3.json"));
  json& items = document["cuerpoDocumento"];
  std::reverse(items.begin(), items.end());
  items.insert(items.begin() + 1, json{{"descripcion", "sin número"}});
  items.push_back(json{{"numItem", 2}, {"descripcion", "otro dos"}});
  const Document read = parsed(document);
  QStringList order;
  for (const Record& item : read.list(u"cuerpoDocumento"))
    order << item.text(u"numItem") + item.text(u"descripcion").left(3);
  EXPECT_EQ(order.join(u' '), QStringLiteral("1%1 sin 2%2 2otr 3%3")
                                  .arg(QString::fromStdString(items[3]["descripcion"]).left(3),
                                       QString::fromStdString(items[2]["descripcion"]).left(3),
                                       QString::fromStdString(items[0]["descripcion"]).left(3)));
}

}  // namespace
}  // namespace corvex
