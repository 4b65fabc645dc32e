#include "support/demo_setup.h"
#include "support/dte_fixtures.h"
#include "support/pdf_tools.h"
#include "support/program.h"
#include "support/temp_app_dir.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace corvex {
namespace {

using nlohmann::json;
using test::TempAppDir;

const QString kTestMark = QStringLiteral("DOCUMENTODEPRUEBA,SINVALIDEZTRIBUTARIA");

QString withoutSpaces(QString text) { return text.remove(QRegularExpression(QStringLiteral("\\s"))); }

QString rawText(const QString& pdf, int page = 0) {
  QStringList arguments{QStringLiteral("-raw")};
  if (page > 0)
    arguments << QStringLiteral("-f") << QString::number(page) << QStringLiteral("-l") << QString::number(page);
  return test::runTool(QStringLiteral("pdftotext"), arguments << pdf << QStringLiteral("-"));
}

// One fault of the printed version that a buyer or an accountant found,
// shown on a fixture document changed to carry it. Texts compare with their
// blanks removed.
struct ReviewCase {
  const char* name;
  /// The fixture of the first generation; the case runs on its twin of the
  /// second too.
  const char* file;
  std::function<void(json&)> change;
  /// Found in this order.
  std::vector<std::string> inOrder;
  /// Found exactly so many times.
  std::vector<std::pair<std::string, int>> counts;
  /// Each whole on one printed line.
  std::vector<std::string> lines;
};

// `file` of the first generation ("01-3"), or with `second` of the second.
json fixtureJson(const QString& folder, const char* file, bool second = false) {
  QFile in(folder + QLatin1Char('/') + QLatin1String(file) + QLatin1String(second ? "-v2.json" : ".json"));
  if (!in.open(QIODevice::ReadOnly)) throw std::runtime_error("no fixture");
  return json::parse(in.readAll().toStdString());
}

std::vector<std::string> members(const json& list, const char* member) {
  std::vector<std::string> values;
  for (const json& element : list) values.push_back(element[member].get<std::string>());
  return values;
}

// The cases on the fixtures of one generation.
std::vector<ReviewCase> reviewCases(const QString& folder, bool second) {
  std::vector<std::string> descriptions =
      members(fixtureJson(folder, "01-3", second)["cuerpoDocumento"], "descripcion");
  for (std::string& description : descriptions)
    description = withoutSpaces(QString::fromStdString(description)).toStdString();
  const std::vector<std::string> corrected =
      members(fixtureJson(folder, "05-3", second)["cuerpoDocumento"], "numeroDocumento");
  return {
      {"ItemsByTheirNumbers",
       "01-3",
       [](json& d) { std::reverse(d["cuerpoDocumento"].begin(), d["cuerpoDocumento"].end()); },
       descriptions,
       {},
       {}},
      {"OneMonthIsSingular",
       "03-45",
       [](json& d) {
         d["resumen"]["pagos"][0]["periodo"] = 1;
         d["resumen"]["pagos"][0]["plazo"] = "02";
       },
       {"1Mes"},
       {{"1Meses", 0}},
       {}},
      {"NoCaptionWithoutItsValue",
       "01-3",
       [](json& d) {
         d["receptor"]["nrc"] = nullptr;
         d["receptor"]["codActividad"] = nullptr;
         d["receptor"]["descActividad"] = nullptr;
       },
       {},
       {{"NRC:", 1}, {"Actividadeconómica:", 1}},
       {}},
      {"ContingencyTypeAndReason",
       "01-3",
       [](json& d) {
         d["identificacion"]["tipoOperacion"] = 2;
         d["identificacion"]["tipoContingencia"] = 5;
         d["identificacion"]["motivoContin"] = "Corte de energía eléctrica en la sucursal";
       },
       {"Transmisiónporcontingencia", "Otro", "Cortedeenergíaeléctricaenlasucursal"},
       {{"deberádigitar", 0}},
       {}},
      {"ProductionCarriesNoTestMark",
       "01-3",
       [](json& d) { d["identificacion"]["ambiente"] = "01"; },
       {},
       {{"DOCUMENTODEPRUEBA", 0}},
       {}},
      {"SettlementCodesWholeOnOneLine",
       "08-3",
       [](json&) {},
       {},
       {},
       members(fixtureJson(folder, "08-3", second)["cuerpoDocumento"], "numeroDocumento")},
      {"ExportRemarksAndIncotermsOnce",
       "11-45",
       [](json&) {},
       {"Transporte", "ExportaciónDefinitiva,ExportaciónDefinitiva,RégimenComún"},
       {{"soloaplica", 0}, {"FOB-Libreabordo", 1}},
       {}},
      {"DonorDomiciled", "15-3", [](json&) {}, {"Domiciliado"}, {}, {}},
      {"EachCorrectedLineNamesItsDocument",
       "05-3",
       [](json&) {},
       {},
       {{"Documentorelacionado:" + corrected[0], 2}, {"Documentorelacionado:" + corrected[1], 1}},
       {}},
  };
}

class DtePrintReviewTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { test::writeDteFixtures(fixtures().path()); }
  static QTemporaryDir& fixtures() {
    static QTemporaryDir folder;
    return folder;
  }
};

// Every case printed by `corvex render dte`, and every page of each: no text
// under 7 points, no amount run into the text beside it, the test mark on
// every page of a document of the test environment and on no other.
TEST_F(DtePrintReviewTest, TheReviewsFaultsAreGoneFromThePrintedPages) {
  TempAppDir dir(test::demoRunFolders());
  test::writeDemoSetUp(dir);
  for (const bool second : {false, true}) {
    for (const ReviewCase& review : reviewCases(fixtures().path(), second)) {
      SCOPED_TRACE(std::string(review.name) + (second ? " (second generation)" : ""));
      json document = fixtureJson(fixtures().path(), review.file, second);
      review.change(document);
      dir.writeFile(QStringLiteral("case.json"), QByteArray::fromStdString(document.dump()));
      const auto run =
          test::runProgram({QStringLiteral("render"), QStringLiteral("dte"), dir.filePath(QStringLiteral("case.json")),
                            QStringLiteral("--app-dir"), dir.path()});
      ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
      const QString pdf = QString::fromUtf8(run.out).trimmed();
      const QString raw = rawText(pdf);
      const QString text = withoutSpaces(raw);
      qsizetype at = 0;
      for (const std::string& shown : review.inOrder) {
        const qsizetype found = text.indexOf(QString::fromStdString(shown), at);
        EXPECT_GE(found, 0) << shown << " after " << at << "\n" << raw.toStdString();
        if (found >= 0) at = found + 1;
      }
      for (const auto& [shown, times] : review.counts)
        EXPECT_EQ(text.count(QString::fromStdString(shown)), times) << shown;
      const QStringList lines = raw.split(QLatin1Char('\n'));
      for (const std::string& line : review.lines)
        EXPECT_FALSE(lines.filter(QString::fromStdString(line)).isEmpty()) << line << " on one line";
      EXPECT_GE(test::pdfSmallestTextSize(pdf), 7.0);
      const QRegularExpression glued(QStringLiteral("\\d\\.\\d\\d\\p{L}"));
      EXPECT_FALSE(glued.match(raw).hasMatch()) << glued.match(raw).captured().toStdString();
      const bool test = document["identificacion"]["ambiente"] == "00";
      for (int page = 1; page <= test::pdfPageCount(pdf); ++page)
        EXPECT_EQ(withoutSpaces(rawText(pdf, page)).contains(kTestMark), test) << "page " << page;
    }
  }
}

}  // namespace
}  // namespace corvex
