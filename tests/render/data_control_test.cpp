#include "render/data_control.h"

#include "base/error.h"
#include "render/layout_file.h"
#include "render/report.h"
#include "support/pdf_tools.h"
#include "support/temp_app_dir.h"

#include <gtest/gtest.h>

namespace corvex {
namespace {

using test::TempAppDir;

// A document of two lines behind the stored procedure, as SQLite keeps it.
const QString kSchema = QStringLiteral(
    "CREATE TABLE lineas (serie TEXT, numero INTEGER, linea INTEGER, articulo TEXT, cantidad REAL, fecha TEXT);\n"
    "INSERT INTO lineas VALUES ('A', 125, 2, 'Martillo de bola', 3, '2023-10-04 15:07:09');\n"
    "INSERT INTO lineas VALUES ('A', 125, 1, 'Clavo de acero', 1250.5, '2023-10-04 15:07:09');\n"
    "INSERT INTO lineas VALUES ('B', 125, 1, 'Otro documento', 1, '2023-10-05 08:00:00');\n"
    "CREATE TABLE procedures (name TEXT PRIMARY KEY, body TEXT);\n"
    "INSERT INTO procedures VALUES ('tovGetFESalvador', 'SELECT articulo AS Articulo, cantidad AS CANTIDAD, "
    "fecha AS Fecha FROM lineas WHERE serie = @Serie AND numero = @Numero ORDER BY linea');\n");

const QByteArray kLayout = R"({"name": "lineas", "page": {"paper": [12240, 15840], "printWidth": 10890,
    "margins": [1440, 1440, 1440, 1440]}, "bands": {
    "PageHeader": {"height": 400, "controls": [
      {"name": "fFecha", "kind": "field", "column": "Fecha", "format": "dd-MMM-yyyy h:mm AM/PM", "box": [0, 0, 3000, 180]}]},
    "Detail": {"height": 180, "controls": [
      {"name": "dcRepo", "kind": "datacontrol", "box": [4950, 0, 450, 180]},
      {"name": "fCantidad", "kind": "field", "column": "CANTIDAD", "format": "#,##0.00", "box": [0, 0, 1080, 180]},
      {"name": "fArticulo", "kind": "field", "column": "Articulo", "box": [1170, 0, 4000, 180]}]},
    "PageFooter": {"height": 100, "controls": []}}})";

class DataControlTest : public ::testing::Test {
 protected:
  DataControlTest() { dir.createSqlite(QStringLiteral("ventas.db"), kSchema); }

  DataRows documentRows() {
    Connection connection(DbEnvironment(dir.folder(), QStringLiteral("FreeTDS")));
    connection.open(QStringLiteral("Provider=SQLOLEDB.1;Data Source=sqlite:ventas.db"));
    const auto records =
        connection.execute(QStringLiteral("Exec tovGetFESalvador @Opcion = 9, @Serie='A', @Numero=125"));
    return readDataRows(*records);
  }

  TempAppDir dir;
  RealFileSystem files;
  Report report{parseLayout(kLayout, QStringLiteral("lineas.json"))};
};

TEST_F(DataControlTest, ReportPrintsTheRowsOfTheQuery) {
  report.run(documentRows());
  const QString pdf = dir.filePath(QStringLiteral("doc.pdf"));
  report.exportPdf(files, pdf);
  const QString text = test::pdfText(pdf);
  EXPECT_TRUE(text.contains(QStringLiteral("04-Oct-2023 3:07 PM"))) << text.toStdString();
  EXPECT_LT(text.indexOf(QStringLiteral("1,250.50")), text.indexOf(QStringLiteral("3.00")));
  EXPECT_LT(text.indexOf(QStringLiteral("Clavo de acero")), text.indexOf(QStringLiteral("Martillo de bola")));
  EXPECT_FALSE(text.contains(QStringLiteral("Otro documento")));
}

TEST_F(DataControlTest, ReadDataRowsGivesEveryRowWithItsColumns) {
  const DataRows rows = documentRows();
  EXPECT_EQ(rows.columns, QStringList({"Articulo", "CANTIDAD", "Fecha"}));
  ASSERT_EQ(rows.rows.size(), 2u);
  EXPECT_EQ(rows.value(1, rows.columnIndex(QStringLiteral("articulo"))).toString(), QStringLiteral("Martillo de bola"));
}

}  // namespace
}  // namespace corvex
