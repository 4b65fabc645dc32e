#include "render/layout_file.h"
#include "render/report.h"

#include "support/pdf_tools.h"
#include "support/temp_app_dir.h"

#include <QImage>

#include <gtest/gtest.h>

namespace corvex {
namespace {

using test::TempAppDir;

// A page with a run-time text too long for its box, a run-time word too wide
// for its box, the same long text as a design caption, and their neighbours
// below and to the right.
const QByteArray kLayout = R"({"name": "clip", "page": {"paper": [12240, 15840], "printWidth": 10890,
    "margins": [1440, 1440, 1440, 1440]}, "bands": {
    "PageHeader": {"height": 2000, "controls": [
      {"name": "lLargo", "kind": "label", "box": [0, 0, 1440, 360]},
      {"name": "lVecino", "kind": "label", "caption": "VECINO", "box": [0, 720, 1440, 180]},
      {"name": "lPalabra", "kind": "label", "box": [2000, 0, 1000, 180], "size": 12},
      {"name": "lDerecha", "kind": "label", "caption": "DERECHA", "box": [3200, 0, 1000, 180]},
      {"name": "lCaption", "kind": "label", "caption": "%WORDS%", "box": [5000, 0, 1440, 360]},
      {"name": "lAbajo", "kind": "label", "caption": "ABAJO", "box": [5000, 720, 1440, 180]}]},
    "Detail": {"height": 180, "controls": []},
    "PageFooter": {"height": 100, "controls": []}}})";

const QString kWords = QStringLiteral(
    "uno dos tres cuatro cinco seis siete ocho nueve diez once doce trece catorce quince dieciseis diecisiete "
    "dieciocho diecinueve veinte veintiuno veintidos veintitres veinticuatro");

class TextBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    report.setLabelText(QStringLiteral("lLargo"), kWords);
    report.setLabelText(QStringLiteral("lPalabra"), QStringLiteral("SUPERCALIFRAGILISTICOESPIALIDOSO"));
    report.run(DataRows{});
    report.exportPdf(files, pdf);
  }

  // True when no pixel of `area` (twips on the paper) is darker than light grey.
  bool blank(const QRect& area) {
    test::runTool(QStringLiteral("pdftoppm"),
                  {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("144"), QStringLiteral("-singlefile"),
                   pdf, dir.filePath(QStringLiteral("page"))});
    const QImage page(dir.filePath(QStringLiteral("page.png")));
    const QRect pixels(area.x() / 10, area.y() / 10, area.width() / 10, area.height() / 10);
    for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
      for (int x = pixels.left(); x <= pixels.right(); ++x) {
        if (qGray(page.pixel(x, y)) < 200) return false;
      }
    }
    return true;
  }

  TempAppDir dir;
  RealFileSystem files;
  Report report{parseLayout(QByteArray(kLayout).replace("%WORDS%", kWords.toUtf8()), QStringLiteral("clip.json"))};
  QString pdf = dir.filePath(QStringLiteral("clip.pdf"));
};

TEST_F(TextBoxTest, DesignCaptionWrapsAtWordsAndStopsAtTheBoxBottom) {
  // Margins of the report-start event: 360 left and top.
  const QStringList shown =
      test::pdfTextIn(pdf, QRect(360 + 5000, 360, 1440, 360)).simplified().split(QLatin1Char(' '));
  const QStringList all = kWords.split(QLatin1Char(' '));
  ASSERT_GE(shown.size(), 4);
  ASSERT_LT(shown.size(), all.size());
  EXPECT_EQ(shown, all.mid(0, shown.size())) << "whole words, in order";
  EXPECT_EQ(test::pdfTextIn(pdf, QRect(360 + 5000, 360 + 720, 1440, 180)).simplified(), QStringLiteral("ABAJO"));
  EXPECT_TRUE(blank(QRect(360 + 5000, 360 + 370, 1440, 340))) << "ink between the box and its neighbour";
}

TEST_F(TextBoxTest, RunTimeTextShrinksUntilEveryWordIsInItsBox) {
  EXPECT_EQ(test::pdfTextIn(pdf, QRect(360, 360, 1440, 360)).simplified(), kWords);
  EXPECT_EQ(test::pdfTextIn(pdf, QRect(360, 360 + 720, 1440, 180)).simplified(), QStringLiteral("VECINO"));
  EXPECT_TRUE(blank(QRect(360, 360 + 370, 1440, 340))) << "ink between the box and its neighbour";
}

TEST_F(TextBoxTest, RunTimeWordWiderThanItsBoxShrinksInsideIt) {
  EXPECT_EQ(test::pdfTextIn(pdf, QRect(360 + 2000, 360, 1000, 180)).simplified(),
            QStringLiteral("SUPERCALIFRAGILISTICOESPIALIDOSO"));
  EXPECT_TRUE(blank(QRect(360 + 3010, 360, 180, 180))) << "ink right of the box";
  EXPECT_EQ(test::pdfTextIn(pdf, QRect(360 + 3200, 360, 1000, 180)).simplified(), QStringLiteral("DERECHA"));
}

}  // namespace
}  // namespace corvex
