#include "dte/document.h"

#include "dte/catalogues.h"
#include "dte_fixture_set.h"
#include "support/expected_error.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace corvex {
namespace {

using nlohmann::json;
using test::DteFixture;

QString grouped(double amount) { return QLocale(QLocale::English).toString(amount, 'f', 2); }

void expectReadsAsFixture(const Document& document, const DteFixture& expected) {
  SCOPED_TRACE(expected.path.toStdString());
  EXPECT_EQ(document.type().code, expected.tipoDte);
  EXPECT_EQ(document.type().name, expected.typeName);
  EXPECT_EQ(document.codigoGeneracion(), expected.codigoGeneracion);
  EXPECT_EQ(document.numeroControl(), expected.numeroControl);
  EXPECT_EQ(document.sello(), expected.sello);
  EXPECT_EQ(document.issuer().nombre(), expected.issuerName);
  EXPECT_EQ(document.issuer().nit(), expected.issuerNit);
  EXPECT_EQ(document.counterparty().nombre(), expected.counterpartyName);
  EXPECT_EQ(document.text(u"counterparty.nombre"), expected.counterpartyName);
  EXPECT_EQ(grouped(document.total()), expected.total);
  EXPECT_EQ(document.fecEmi().toString(QStringLiteral("dd/MM/yyyy")), expected.fecEmi);
  EXPECT_EQ(document.generation().number, expected.generation);
  EXPECT_FALSE(document.generation().newer);
  // A document without totalLetras reads none: the words are then the printer's.
  EXPECT_EQ(document.totalInWords().isEmpty(), !expected.words.isEmpty());
  QStringList descriptions;
  for (const Item& item : document.items()) descriptions << item.description();
  EXPECT_EQ(descriptions, expected.descriptions);
}

TEST(DocumentTest, EveryTypeReadsFromTheViewsJsonWithTheViewsSeal) {
  for (const DteFixture& fixture : test::unsignedFixtures())
    expectReadsAsFixture(Document::parse(test::fileBytes(fixture.path), fixture.sello), fixture);
}

TEST(DocumentTest, EveryTypeReadsFromASignedFileWithItsOwnSeal) {
  for (const DteFixture& fixture : test::signedFixtures())
    expectReadsAsFixture(Document::parse(test::fileBytes(fixture.path)), fixture);
}

struct BadDocument {
  const char* name;
  const char* file;
  /// Applied to the fixture's JSON; the text is `text` instead when set.
  void (*spoil)(json&);
  const char* text;
  const char* description;
};

const BadDocument kBadDocuments[] = {
    {"not JSON", "01-3.json", nullptr, "{\"identificacion\": ", "not a JSON object"},
    {"a list", "01-3.json", nullptr, "[]", "not a JSON object"},
    {"empty", "01-3.json", nullptr, "", "not a JSON object"},
    {"no identificacion", "01-3.json", [](json& d) { d.erase("identificacion"); }, nullptr, "no identificacion"},
    {"identificacion null", "03-3.json", [](json& d) { d["identificacion"] = nullptr; }, nullptr, "no identificacion"},
    {"no tipoDte", "03-3.json", [](json& d) { d["identificacion"].erase("tipoDte"); }, nullptr, "has no tipoDte"},
    {"tipoDte a number", "03-3.json", [](json& d) { d["identificacion"]["tipoDte"] = 3; }, nullptr, "has no tipoDte"},
    {"unknown tipoDte", "03-3.json", [](json& d) { d["identificacion"]["tipoDte"] = "02"; }, nullptr,
     "tipoDte \"02\" is not a type"},
    {"no emisor", "01-3.json", [](json& d) { d.erase("emisor"); }, nullptr, "01 (Factura) has no emisor"},
    {"no receptor", "03-45.json", [](json& d) { d["receptor"] = nullptr; }, nullptr, "has no receptor"},
    {"no sujetoExcluido", "14-3.json", [](json& d) { d.erase("sujetoExcluido"); }, nullptr, "has no sujetoExcluido"},
    {"no donante", "15-3.json", [](json& d) { d.erase("donante"); }, nullptr, "has no donante"},
    {"no documentoRelacionado", "05-3.json", [](json& d) { d["documentoRelacionado"] = nullptr; }, nullptr,
     "05 (Nota de crédito) has no documentoRelacionado"},
    {"no resumen", "07-3.json", [](json& d) { d.erase("resumen"); }, nullptr, "has no resumen"},
    {"items not a list", "01-3.json", [](json& d) { d["cuerpoDocumento"] = json::object(); }, nullptr,
     "cuerpoDocumento is not a list"},
    {"09 body a list", "09-1.json", [](json& d) { d["cuerpoDocumento"] = json::array(); }, nullptr,
     "cuerpoDocumento is not an object"},
    {"receptor a text", "06-3.json", [](json& d) { d["receptor"] = "Cliente"; }, nullptr, "receptor is not an object"},
    {"second generation: no receptor", "14-3-v2.json", [](json& d) { d.erase("receptor"); }, nullptr,
     "14 (Factura de sujeto excluido) has no receptor"},
    {"second generation: no emisor", "15-3-v2.json", [](json& d) { d.erase("emisor"); }, nullptr,
     "15 (Comprobante de donación) has no emisor"},
};

TEST(DocumentTest, ADocumentThatCannotBePrintedIsRefusedSayingWhy) {
  for (const BadDocument& bad : kBadDocuments) {
    SCOPED_TRACE(bad.name);
    QByteArray text(bad.text ? bad.text : "");
    if (bad.spoil) {
      json document = test::fixtureJson(QString::fromLatin1(bad.file));
      bad.spoil(document);
      text = QByteArray::fromStdString(document.dump());
    }
    const auto error = test::raisedError([&] { Document::parse(text, QStringLiteral("SELLO")); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number(), kInvalidFileFormat);
    EXPECT_TRUE(error->description().contains(QString::fromUtf8(bad.description)))
        << error->description().toStdString();
  }
}

TEST(DocumentTest, TheGenerationCodeMustBeTheViewsLetterCaseAside) {
  const DteFixture& fixture = test::fixture(QStringLiteral("03-3.json"));
  const Document document = Document::parse(test::fileBytes(fixture.path), fixture.sello);
  EXPECT_FALSE(test::raisedError([&] { document.checkGenerationCode(fixture.codigoGeneracion.toLower()); }));
  const QString other = test::fixture(QStringLiteral("01-3.json")).codigoGeneracion;
  const auto error = test::raisedError([&] { document.checkGenerationCode(other); });
  ASSERT_TRUE(error);
  EXPECT_TRUE(error->description().contains(other));
  EXPECT_TRUE(error->description().contains(fixture.codigoGeneracion));
}

struct VersionCase {
  const char* file;
  json version;
  int generation;
  bool newer;
};

// The generation goes by tipoDte and version; a later version reads with the
// newest names and says so, an earlier or missing one with the first.
const VersionCase kVersions[] = {
    {"01-3.json", 1, 1, false},   {"01-3-v2.json", 2, 2, false}, {"01-3-v2.json", 3, 2, true},
    {"03-3.json", 3, 1, false},   {"03-3-v2.json", 4, 2, false}, {"03-3-v2.json", "4", 2, false},
    {"11-3.json", 2, 1, false},   {"11-3-v2.json", 3, 2, false}, {"11-3-v2.json", 4, 2, true},
    {"14-3-v2.json", 7, 2, true}, {"15-3-v2.json", 2, 2, false}, {"15-3.json", nullptr, 1, false},
};

TEST(DocumentTest, TheGenerationGoesByTypeAndVersion) {
  for (const VersionCase& row : kVersions) {
    SCOPED_TRACE(std::string(row.file) + " version " + row.version.dump());
    const DteFixture& fixture = test::fixture(QString::fromLatin1(row.file));
    json document = test::fixtureJson(fixture.path.section(u'/', -1));
    document["identificacion"]["version"] = row.version;
    const Document read = Document::parse(QByteArray::fromStdString(document.dump()), fixture.sello);
    EXPECT_EQ(read.generation().number, row.generation);
    EXPECT_EQ(read.generation().newer, row.newer);
    EXPECT_EQ(read.newerVersionNote().contains(QStringLiteral("version %1").arg(row.version.dump().c_str())), row.newer)
        << read.newerVersionNote().toStdString();
    EXPECT_EQ(read.counterparty().nombre(), fixture.counterpartyName);
    EXPECT_EQ(grouped(read.total()), fixture.total);
  }
}

TEST(DocumentTest, TheTypeTableNamesEachTypeAsTheCatalogueDoes) {
  ASSERT_EQ(dteTypes().size(), 11u);
  for (const DteType& type : dteTypes()) EXPECT_EQ(Catalogues::standard().find(u"CAT-002", type.code), type.name);
}

}  // namespace
}  // namespace corvex
