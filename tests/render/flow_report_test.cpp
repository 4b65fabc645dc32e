#include "render/layout_file.h"
#include "render/report.h"

#include "support/pdf_tools.h"
#include "support/temp_app_dir.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace corvex {
namespace {

using test::TempAppDir;

// Shared parts: the page header, the footer with the page count and a group
// of controls that the layout places twice.
const QByteArray kParts = R"({"name": "piezas", "parts": {
  "cabecera": {"height": 360, "controls": [{"name": "lCab", "kind": "label", "caption": "CABECERA", "box": [0, 0, 3000, 180]}]},
  "pie": {"height": 360, "controls": [{"name": "lPag", "kind": "label", "caption": "Página {page} de {pages}", "box": [0, 90, 3000, 180]}]},
  "par": [{"name": "lPar", "kind": "label", "caption": "PAR", "box": [0, 0, 900, 180]},
          {"name": "fPar", "kind": "field", "column": "nombre", "box": [900, 0, 2000, 180]}]}})";

const QByteArray kLayout = R"({"name": "flujo", "parts": "piezas",
  "page": {"paper": [12240, 15840], "printWidth": 10890, "margins": [1440, 1440, 1440, 1440]},
  "bands": {"PageHeader": {"use": "cabecera"},
    "Body": [
      {"height": 180, "controls": [{"use": "par", "at": [0, 0]}]},
      {"when": "extra", "height": 180, "controls": [
        {"name": "lExtra", "kind": "label", "caption": "EXTRA PRESENTE", "box": [0, 0, 1800, 180]},
        {"name": "fExtra", "kind": "field", "column": "extra", "box": [1800, 0, 3000, 180]}]},
      {"list": "lineas", "height": 180,
       "caption": {"height": 180, "controls": [{"name": "lCols", "kind": "label", "caption": "COLUMNAS", "box": [0, 0, 3000, 180]}]},
       "controls": [
        {"name": "fTexto", "kind": "field", "column": "texto", "box": [0, 0, 3000, 180], "grow": true},
        {"name": "fNumero", "kind": "field", "columns": ["numero", "unidad"], "separator": " / ", "box": [4000, 0, 2000, 180]},
        {"name": "lnFila", "kind": "line", "from": [0, 180], "to": [6000, 180]}]},
      {"height": 180, "controls": [{"name": "lFin", "kind": "label", "caption": "FIN DEL DOCUMENTO", "box": [0, 0, 3000, 180]}]}],
    "PageFooter": {"use": "pie"}}})";

// One page's text with its lines kept, as a reader sees them.
QString pageText(const QString& pdf, int page) {
  const QString number = QString::number(page);
  return test::runTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), QStringLiteral("-f"), number,
                                                     QStringLiteral("-l"), number, pdf, QStringLiteral("-")})
      .simplified();
}

QString longText(int words) {
  QStringList list;
  for (int i = 1; i <= words; ++i) list << QStringLiteral("palabra%1").arg(i);
  return list.join(QLatin1Char(' '));
}

struct FlowCase {
  const char* name;
  int rows;
  bool extra;
  // Words of the first row's text, which wraps and makes its row grow.
  int firstRowWords;
};

class FlowReportTest : public ::testing::TestWithParam<FlowCase> {
 protected:
  FlowReportTest() {
    dir.writeFile(QStringLiteral("layouts/piezas.json"), kParts);
    dir.writeFile(QStringLiteral("layouts/flujo.json"), kLayout);
  }

  ReportData data(const FlowCase& flow) const {
    ReportData data;
    data.document.columns = QStringList{QStringLiteral("nombre"), QStringLiteral("extra")};
    data.document.rows.push_back(
        {QStringLiteral("Emisor Uno"), flow.extra ? QVariant(QStringLiteral("valor extra")) : QVariant()});
    DataRows& lineas = data.lists[QStringLiteral("lineas")];
    lineas.columns = QStringList{QStringLiteral("texto"), QStringLiteral("numero"), QStringLiteral("unidad")};
    for (int i = 1; i <= flow.rows; ++i) {
      const QString text =
          i == 1 && flow.firstRowWords > 0 ? longText(flow.firstRowWords) : QStringLiteral("fila%1").arg(i);
      lineas.rows.push_back({text, i, i % 2 == 0 ? QVariant(QStringLiteral("kg")) : QVariant()});
    }
    return data;
  }

  TempAppDir dir{{QStringLiteral("files"), QStringLiteral("layouts")}};
  RealFileSystem files;
};

TEST_P(FlowReportTest, PrintsEveryPartOnceAndCountsThePages) {
  const FlowCase flow = GetParam();
  Report report(loadLayout(QStringLiteral("flujo"), dir.folder()));
  report.run(data(flow));
  const QString pdf = dir.filePath(QStringLiteral("files/flujo.pdf"));
  report.exportPdf(files, pdf);
  const int pages = test::pdfPageCount(pdf);
  EXPECT_EQ(pages, report.pageCount());
  QString all;
  for (int page = 1; page <= pages; ++page) {
    const QString text = pageText(pdf, page);
    EXPECT_TRUE(text.contains(QStringLiteral("CABECERA"))) << "page " << page;
    EXPECT_TRUE(text.contains(QStringLiteral("Página %1 de %2").arg(page).arg(pages))) << text.toStdString();
    // The list goes on from the first page to the last: its caption heads each.
    EXPECT_TRUE(text.contains(QStringLiteral("COLUMNAS"))) << "page " << page;
    all += text + QLatin1Char(' ');
  }
  EXPECT_EQ(all.count(QStringLiteral("PAR Emisor Uno")), 1);
  EXPECT_EQ(all.count(QStringLiteral("EXTRA PRESENTE valor extra")), flow.extra ? 1 : 0);
  for (int i = flow.firstRowWords > 0 ? 2 : 1; i <= flow.rows; ++i) {
    const QString number = i % 2 == 0 ? QStringLiteral("%1 / kg").arg(i) : QString::number(i);
    EXPECT_EQ(all.count(QRegularExpression(QStringLiteral("\\bfila%1 %2( |$)").arg(i).arg(number))), 1) << i;
  }
  if (flow.firstRowWords > 0) {
    // Every word of the grown row printed, none of them cut off.
    for (int i = 1; i <= flow.firstRowWords; ++i)
      EXPECT_EQ(all.count(QRegularExpression(QStringLiteral("\\bpalabra%1\\b").arg(i))), 1) << i;
  }
  EXPECT_TRUE(all.trimmed().contains(QStringLiteral("FIN DEL DOCUMENTO")));
}

INSTANTIATE_TEST_SUITE_P(Flows, FlowReportTest,
                         ::testing::Values(FlowCase{"OnePageWithoutExtra", 3, false, 0},
                                           FlowCase{"ExtraPrinted", 3, true, 0}, FlowCase{"ManyPages", 150, true, 0},
                                           FlowCase{"GrowingRowOverPages", 120, false, 200}),
                         [](const auto& info) { return std::string(info.param.name); });

// A part changed in the Application folder changes every layout that uses
// it; the built-in layouts of the eleven types all read.
TEST(FlowLayoutTest, PartsComeFromTheApplicationFolder) {
  TempAppDir dir{{QStringLiteral("layouts")}};
  dir.writeFile(QStringLiteral("layouts/flujo.json"), kLayout);
  dir.writeFile(QStringLiteral("layouts/piezas.json"), QByteArray(kParts).replace("CABECERA", "PROPIA"));
  const Layout layout = loadLayout(QStringLiteral("flujo"), dir.folder());
  ASSERT_NE(layout.findControl(QStringLiteral("lCab")), nullptr);
  EXPECT_EQ(layout.findControl(QStringLiteral("lCab"))->caption, QStringLiteral("PROPIA"));
  EXPECT_EQ(layout.findControl(QStringLiteral("fPar"))->column, QStringLiteral("nombre"));
  EXPECT_EQ(layout.body.size(), 4U);
  EXPECT_EQ(layout.body[2].list, QStringLiteral("lineas"));
  EXPECT_EQ(layout.body[2].caption.height, 180);
  EXPECT_EQ(layout.findControl(QStringLiteral("fNumero"))->moreColumns, QStringList{QStringLiteral("unidad")});
}

TEST(FlowLayoutTest, EveryTypeHasItsLayout) {
  TempAppDir dir;
  for (const char* type : {"01", "03", "04", "05", "06", "07", "08", "09", "11", "14", "15"}) {
    const Layout layout = loadLayout(QStringLiteral("arSVDTE") + QLatin1String(type), dir.folder());
    EXPECT_TRUE(layout.flows()) << type;
    for (const char* control : {"LogCorp", "QRCode", "lblMail", "lblWeb", "lLetras", "lblPagina", "fSelloRecibido"})
      EXPECT_NE(layout.findControl(QLatin1String(control)), nullptr) << type << " " << control;
  }
}

TEST(FlowLayoutTest, BrokenPartsAreNamed) {
  TempAppDir dir{{QStringLiteral("layouts")}};
  dir.writeFile(QStringLiteral("layouts/flujo.json"),
                QByteArray(kLayout).replace("\"use\": \"par\"", "\"use\": \"nada\""));
  dir.writeFile(QStringLiteral("layouts/piezas.json"), kParts);
  try {
    loadLayout(QStringLiteral("flujo"), dir.folder());
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), kInvalidFileFormat);
    EXPECT_TRUE(error.description().contains(QStringLiteral("nada"))) << error.description().toStdString();
  }
}

// A caption tied to its field, a count with its unit, a mark across every
// page: what a buyer reads for each document.
const QByteArray kRulesLayout = R"({"name": "reglas",
  "page": {"paper": [12240, 15840], "printWidth": 10890, "margins": [1440, 1440, 1440, 1440]},
  "bands": {"PageHeader": {"height": 180, "controls": []},
    "Body": [
      {"height": 540, "controls": [
        {"name": "lNrc", "kind": "label", "caption": "NRC:", "with": "fNrc", "box": [0, 0, 900, 180]},
        {"name": "fNrc", "kind": "field", "column": "nrc", "box": [900, 0, 2000, 180]},
        {"name": "fPlazo", "kind": "field", "columns": ["periodo", "plazo"], "counted": true, "box": [0, 180, 3000, 180]},
        {"name": "fInco", "kind": "field", "columns": ["inco", "incoDesc"], "distinct": true, "separator": " / ", "box": [0, 360, 6000, 180]}]},
      {"list": "lineas", "height": 180, "controls": [{"name": "fTexto", "kind": "field", "column": "texto", "box": [0, 0, 3000, 180]}]}],
    "PageFooter": {"height": 180, "controls": []}}})";

struct RulesCase {
  const char* nrc;
  double periodo;
  const char* plazo;
  const char* incoDesc;
  const char* mark;
  const char* expected;
  const char* absent;
};

TEST(FlowRulesTest, CaptionsStandWithTheirValuesUnitsAgreeAndAMarkCrossesEveryPage) {
  const RulesCase cases[] = {
      {"", 1, "Meses", "fob-libre a bordo", "", "1 Mes FOB-Libre a bordo fila1", "NRC"},
      {"123-4", 30, "Días", "Puerto de Acajutla", "DOCUMENTO DE PRUEBA",
       "NRC: 123-4 30 Días FOB-Libre a bordo / Puerto de Acajutla", "Mes "},
      {"  ", 1, "Años", "", "DOCUMENTO DE PRUEBA", "1 Año FOB-Libre a bordo fila1", "NRC"},
      {"9", 2, "Meses", "FOB-Libre a bordo", "", "NRC: 9 2 Meses FOB-Libre a bordo fila1", "PRUEBA"},
  };
  TempAppDir dir{{QStringLiteral("files")}};
  RealFileSystem files;
  Report report(parseLayout(kRulesLayout, QStringLiteral("reglas.json")));
  for (const RulesCase& rules : cases) {
    SCOPED_TRACE(rules.expected);
    ReportData data;
    data.document.columns = QStringList{QStringLiteral("nrc"), QStringLiteral("periodo"), QStringLiteral("plazo"),
                                        QStringLiteral("inco"), QStringLiteral("incoDesc")};
    data.document.rows.push_back({QString::fromUtf8(rules.nrc), rules.periodo, QString::fromUtf8(rules.plazo),
                                  QStringLiteral("FOB-Libre a bordo"), QString::fromUtf8(rules.incoDesc)});
    DataRows& lineas = data.lists[QStringLiteral("lineas")];
    lineas.columns = QStringList{QStringLiteral("texto")};
    for (int i = 1; i <= 100; ++i) lineas.rows.push_back({QStringLiteral("fila%1").arg(i)});
    report.setWatermark(QString::fromUtf8(rules.mark));
    report.run(data);
    const QString pdf = dir.filePath(QStringLiteral("files/reglas.pdf"));
    report.exportPdf(files, pdf);
    ASSERT_GE(test::pdfPageCount(pdf), 2);
    EXPECT_TRUE(pageText(pdf, 1).contains(QString::fromUtf8(rules.expected))) << pageText(pdf, 1).toStdString();
    EXPECT_FALSE(pageText(pdf, 1).contains(QString::fromUtf8(rules.absent)));
    for (int page = 1; page <= test::pdfPageCount(pdf); ++page)
      EXPECT_EQ(pageText(pdf, page).contains(QStringLiteral("DOCUMENTO DE PRUEBA")), *rules.mark != 0) << page;
  }
}

}  // namespace
}  // namespace corvex
