#include "render/layout_file.h"

#include "base/error.h"
#include "render/text_box.h"
#include "support/expected_error.h"
#include "support/temp_app_dir.h"

#include <QDir>
#include <QFile>

#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace corvex {
namespace {

using test::TempAppDir;

QByteArray builtInLayout(const QString& name) {
  QFile file(QStringLiteral(CORVEX_SOURCE_DIR "/resources/layouts/") + name + QStringLiteral(".json"));
  if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error("layout source missing");
  return file.readAll();
}

QString captionOf(const Layout& layout, const QString& control) {
  const Control* found = layout.findControl(control);
  return found ? found->caption : QStringLiteral("<missing>");
}

TEST(LayoutFile, BuiltInLayoutsLoadWithTheirBands) {
  TempAppDir dir;
  const Layout factura = loadLayout(QStringLiteral("arSVDTEFactura"), dir.folder());
  const Layout credito = loadLayout(QStringLiteral("arSVDTECreditoFiscal"), dir.folder());
  EXPECT_EQ(factura.pageHeader.height, 6315);
  EXPECT_EQ(factura.detail.height, 180);
  EXPECT_EQ(factura.pageFooter.height, 2115);
  EXPECT_EQ(credito.pageFooter.height, 3975);
  EXPECT_EQ(factura.page.printWidth, 10890);
  EXPECT_EQ(captionOf(factura, QStringLiteral("lTipoDoc")), QStringLiteral("FACTURA"));
  EXPECT_EQ(captionOf(credito, QStringLiteral("lTipoDoc")), QStringLiteral("COMPROBANTE DE CREDITO FISCAL"));
  EXPECT_EQ(factura.findControl(QStringLiteral("lPagare")), nullptr);
  EXPECT_NE(credito.findControl(QStringLiteral("lPagare")), nullptr);
  EXPECT_TRUE(factura.hasDataControl());
}

// Every text control of every band, captions included.
std::vector<std::pair<const Band*, const Control*>> textControls(const Layout& layout) {
  std::vector<std::pair<const Band*, const Control*>> texts;
  for (const Band* band : layout.bands()) {
    for (const Control& control : band->controls)
      if (control.kind == ControlKind::Label || control.kind == ControlKind::Field) texts.emplace_back(band, &control);
  }
  return texts;
}

// The layouts of the eleven types as the program loads them, shared parts put
// in: no text smaller than paper shows legibly, and no two texts of a band
// sharing any of the page, so that no column runs into the next. The two
// original layouts keep their design, 6 pt footnotes included.
TEST(LayoutFile, BuiltInLayoutsSetNoTextBelowSevenPointsAndNoTextOverAnother) {
  TempAppDir dir;
  const QDir folder(QStringLiteral(CORVEX_SOURCE_DIR "/resources/layouts"));
  int checked = 0;
  for (const QFileInfo& file : folder.entryInfoList({QStringLiteral("*.json")})) {
    if (file.baseName() == QLatin1String("arSVDTEComun")) continue;  // the parts the others put in
    const Layout layout = loadLayout(file.baseName(), dir.folder());
    if (!layout.flows()) continue;
    const auto texts = textControls(layout);
    for (const auto& [band, control] : texts) {
      EXPECT_GE(control->style.pointSize, kSmallestPointSize)
          << file.baseName().toStdString() << " " << control->name.toStdString();
      for (const auto& [otherBand, other] : texts) {
        if (otherBand != band || other <= control) continue;
        EXPECT_FALSE(control->box.intersects(other->box))
            << file.baseName().toStdString() << ": " << control->name.toStdString() << " and "
            << other->name.toStdString();
      }
    }
    ++checked;
  }
  EXPECT_EQ(checked, 11);
}

TEST(LayoutFile, FileInTheApplicationFolderReplacesTheBuiltInOne) {
  TempAppDir dir({QStringLiteral("layouts")});
  QByteArray json = builtInLayout(QStringLiteral("arSVDTEFactura"));
  json.replace("\"Teléfono:\"", "\"Tel. 2222-0000\"");
  dir.writeFile(QStringLiteral("layouts/arSVDTEFactura.json"), json);
  EXPECT_EQ(captionOf(loadLayout(QStringLiteral("arSVDTEFactura"), dir.folder()), QStringLiteral("lTelefono")),
            QStringLiteral("Tel. 2222-0000"));
  EXPECT_EQ(captionOf(loadLayout(QStringLiteral("arSVDTECreditoFiscal"), dir.folder()), QStringLiteral("lTelefono")),
            QStringLiteral("Teléfono:"));
}

TEST(LayoutFile, UnknownLayoutIsFileNotFound) {
  TempAppDir dir;
  const auto error = test::raisedError([&] { loadLayout(QStringLiteral("arNada"), dir.folder()); });
  ASSERT_TRUE(error) << "no error";
  EXPECT_EQ(error->number(), kFileNotFound);
  EXPECT_TRUE(error->description().contains(QStringLiteral("arNada")));
}

struct BrokenCase {
  const char* from;
  const char* to;
  const char* problem;
};

TEST(LayoutFile, BrokenOverrideIsRefusedNamingFileAndProblem) {
  const BrokenCase cases[] = {
      {"\"bands\": {", "\"bands\": [", "offset"},
      {"\"kind\": \"label\", \"caption\": \"FACTURA\"", "\"kind\": \"lable\", \"caption\": \"FACTURA\"",
       "lTipoDoc: unknown kind \"lable\""},
      {"\"column\": \"PED_ID\"", "\"colum\": \"PED_ID\"", "Field7: unknown key \"colum\""},
      {"\"name\": \"Field8\"", "\"name\": \"Field7\"", "Field7: the name is used twice"},
      {"\"box\": [90, 4590, 1260, 180]", "\"box\": [90, 4590, 1260]", "\"box\" must be a list of 4 numbers"},
      {"\"box\": [90, 4590, 1260, 180]", "\"box\": [90, -4590, 1260, 180]", "whole numbers of twips"},
      {"\"format\": \"#,##0.0000\"", "\"format\": \"Currency\"", "fPrecio: unsupported format \"Currency\""},
      {"\"color\": \"0000FF\"", "\"color\": \"blue\"", "lblWeb: \"color\" must be six hexadecimal digits"},
      {"\"align\": \"center\"", "\"align\": \"middle\"", "\"align\" must be left, center or right"},
      {"\"Detail\": {\"height\": 180", "\"Detail\": {\"height\": 0", "Detail: the height must be above 0"},
      {"\"Detail\"", "\"Detalle\"", "unknown key \"Detalle\""},
      {"\"name\": \"arSVDTEFactura\"", "\"name\": \"arSVDTECreditoFiscal\"", "expected \"arSVDTEFactura\""},
      {"\"column\": \"PED_ID\"", "\"column\": \"\"", "Field7: \"column\" must be a non-empty text"},
      {"\"size\": 16", "\"size\": \"16\"", "lblOriginal: \"size\" must be a number of points"},
      {"\"name\": \"Label20\",", "\"name\": \"Label20\", \"with\": \"Field99\",",
       "Label20: \"with\" names no field of its band: Field99"},
      {"\"name\": \"Label20\",", "\"name\": \"Label20\", \"with\": \"Label19\",",
       "Label20: \"with\" names no field of its band: Label19"},
  };
  for (const BrokenCase& c : cases) {
    TempAppDir dir({QStringLiteral("layouts")});
    QByteArray json = builtInLayout(QStringLiteral("arSVDTEFactura"));
    ASSERT_TRUE(json.contains(c.from)) << c.from;
    json.replace(json.indexOf(c.from), qsizetype(strlen(c.from)), c.to);
    dir.writeFile(QStringLiteral("layouts/arSVDTEFactura.json"), json);
    const auto error = test::raisedError([&] { loadLayout(QStringLiteral("arSVDTEFactura"), dir.folder()); });
    ASSERT_TRUE(error) << "accepted: " << c.to;
    EXPECT_EQ(error->number(), kInvalidFileFormat) << c.to;
    EXPECT_TRUE(error->description().contains(dir.filePath(QStringLiteral("layouts/arSVDTEFactura.json"))))
        << error->what();
    EXPECT_TRUE(error->description().contains(QString::fromUtf8(c.problem))) << error->what();
  }
}

TEST(LayoutFile, SecondDataControlIsRefused) {
  const QByteArray json = R"({"name": "x", "page": {"paper": [12240, 15840], "printWidth": 10890,
      "margins": [1440, 1440, 1440, 1440]}, "bands": {
      "PageHeader": {"height": 100, "controls": [{"name": "dcA", "kind": "datacontrol", "box": [0, 0, 10, 10]}]},
      "Detail": {"height": 100, "controls": [{"name": "dcB", "kind": "datacontrol", "box": [0, 0, 10, 10]}]},
      "PageFooter": {"height": 100, "controls": []}}})";
  EXPECT_THROW(parseLayout(json, QStringLiteral("x.json")), Error);
}

}  // namespace
}  // namespace corvex
