#include "render/document_renderer.h"
#include "render/document_texts.h"

#include "base/error.h"
#include "document_fixture.h"
#include "support/fixed_clock.h"
#include "support/pdf_tools.h"
#include "support/temp_app_dir.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <clocale>

namespace corvex {
namespace {

using test::documentRows;
using test::FixedClock;
using test::localTime;
using test::TempAppDir;

QString sqlLiteral(const QVariant& value) {
  if (value.isNull()) return QStringLiteral("NULL");
  if (value.typeId() == QMetaType::QString) return QLatin1Char('\'') + value.toString().replace("'", "''") + '\'';
  return value.toString();
}

// One row per line of one document: the layout's columns plus the key and
// the due date the promissory note reads.
struct Document {
  QString serie = QStringLiteral("A");
  qint32 numero = 125;
  DataRows rows = documentRows(1);
  QVariant vence = QStringLiteral("2023-11-03");

  void set(const QString& column, const QVariant& value) {
    for (auto& row : rows.rows) row[rows.columnIndex(column)] = value;
  }
};

QString insertSql(const Document& document) {
  QString sql;
  for (const auto& row : document.rows.rows) {
    QStringList values{sqlLiteral(document.serie), QString::number(document.numero), sqlLiteral(document.vence)};
    for (const QVariant& value : row) values << sqlLiteral(value);
    sql += QStringLiteral("INSERT INTO doc_rows VALUES (%1);\n").arg(values.join(QStringLiteral(", ")));
  }
  return sql;
}

class DocumentRendererTest : public ::testing::Test {
 protected:
  DocumentRendererTest() {
    std::setlocale(LC_TIME, "C");
    settings.ConnectionString = QStringLiteral("Data Source=sqlite:ventas.db");
    settings.sysEmail = QStringLiteral("ventas@martillo.example");
    settings.sysWeb = QStringLiteral("www.martillo.example");
  }

  void createDatabase(const std::vector<Document>& documents, const QString& ambiente = QStringLiteral("01")) {
    const QStringList columns = documentRows(1).columns;
    QString sql = QStringLiteral("CREATE TABLE doc_rows (Serie TEXT, Numero INTEGER, VENCE, %1);\n")
                      .arg(columns.join(QStringLiteral(", ")));
    sql += QStringLiteral(
        "CREATE TABLE Parametros (Parametro TEXT, Valor);\n"
        "CREATE TABLE procedures (name TEXT PRIMARY KEY, body TEXT);\n"
        "INSERT INTO procedures VALUES ('tovGetFESalvador', "
        "'SELECT * FROM doc_rows WHERE Serie = @Serie AND Numero = @Numero AND @Opcion = 9 ORDER BY rowid');\n");
    if (!ambiente.isNull())
      sql += QStringLiteral("INSERT INTO Parametros VALUES ('FESVAmbiente', '%1');\n").arg(ambiente);
    for (const Document& document : documents) sql += insertSql(document);
    dir.createSqlite(QStringLiteral("ventas.db"), sql);
  }

  QString pdfText(const QString& pdf) { return test::pdfText(pdf).simplified(); }

  TempAppDir dir{{QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr")}};
  FixedClock clock{localTime(2026, 12, 7)};
  DailyLog log{dir.folder(), clock};
  Settings settings;
  Database database{QStringLiteral("Data Source=sqlite:ventas.db"), DbEnvironment{dir.folder(), QString()}, log};
  QImage logo{QSize(120, 100), QImage::Format_RGB32};
  RealFileSystem files;
  DocumentRenderer renderer{database, settings, dir.folder(), logo, files};
};

const QString kPage = QStringLiteral("https://admin.factura.gob.sv/consultaPublica");

TEST_F(DocumentRendererTest, CreditoFiscalCarriesItsTextsAndTheQrCode) {
  Document document;
  document.set(QStringLiteral("TOTAL"), 100);
  document.set(QStringLiteral("RazonSocial"), QStringLiteral("EMPRESA S.A."));
  createDatabase({document});
  const QString pdf = renderer.CreateCreditoFiscalPDF(QStringLiteral("A"), 125);
  EXPECT_EQ(pdf, dir.filePath(QStringLiteral("files/5B1C9D3E-0A2B-4C6D-8E9F-A01112131415.pdf")));
  const QString text = pdfText(pdf);
  for (const QString& expected : {
           QStringLiteral("YO, JUAN PEREZ PAGARE EN ESTA CIUDAD, A LA ORDEN DE EMPRESA S.A. POR MERCADERIAS Y/O "
                          "SERVICIOS RECIBIDOS EN ESTA FECHA, LA CANTIDAD DE CIEN CON 00/100 DOLARES, EL DIA "
                          "VIERNES, 3 DE NOVIEMBRE DE 2023 SEGUN EL CREDITO FISCAL PRESENTE, EN CASO DE MORA "
                          "RECONOCERE EL COBRO DE 2% DE INTERES MENSUAL"),
           QStringLiteral("SAN SALVADOR, MIERCOLES, 4 DE OCTUBRE DE 2023"),
           QStringLiteral("SON: CIEN CON 00/100 DOLARES"),
           QStringLiteral("jperez 04-Oct-2023 03:07:09 PM"),
           QStringLiteral("ventas@martillo.example"),
           QStringLiteral("www.martillo.example"),
       })
    EXPECT_TRUE(text.contains(expected)) << expected.toStdString() << "\nin: " << text.toStdString();
  EXPECT_EQ(test::pdfQrCodes(pdf),
            QStringList{kPage + "?ambiente=01&codGen=5B1C9D3E-0A2B-4C6D-8E9F-A01112131415&fechaEmi=2023-10-04"});
  EXPECT_FALSE(database.hasDbConnection());
}

// The longest amounts in words up to the largest total, with long names in
// the promissory note: every word must reach the PDF, none may be cut off.
TEST_F(DocumentRendererTest, LegalTextsShrinkToFitTheirBoxesInBothLayouts) {
  const double totals[] = {777777777.77, 999999999.99, 888888888.88, 100000000.01, 0.5};
  std::vector<Document> documents;
  for (const double total : totals) {
    Document document;
    document.numero = qint32(documents.size()) + 1;
    document.set(QStringLiteral("TOTAL"), total);
    document.set(QStringLiteral("tNombre"), QStringLiteral("MARIA DE LOS ANGELES GUADALUPE HERNANDEZ DE LA O"));
    document.set(QStringLiteral("RazonSocial"),
                 QStringLiteral("DISTRIBUIDORA CENTROAMERICANA DE MATERIALES DE CONSTRUCCION Y FERRETERIA, S.A. "
                                "DE C.V."));
    documents.push_back(document);
  }
  createDatabase(documents);
  for (const Document& document : documents) {
    const DataRows& rows = document.rows;
    const auto value = [&rows](const char* column) { return DbValue(rows.value(0, rows.columnIndex(column))); };
    const QString letras = amountLine(value("TOTAL")).simplified();
    const QString pagare =
        promissoryNote(value("tNombre"), value("RazonSocial"), value("TOTAL"), DbValue(document.vence)).simplified();
    // -raw keeps each control's words in drawing order, wrapped lines and all.
    const auto text = [](const QString& pdf) {
      return test::runTool(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), pdf, QStringLiteral("-")})
          .simplified();
    };
    const QString factura = text(renderer.CreateFacturaPDF(document.serie, document.numero));
    EXPECT_TRUE(factura.contains(letras)) << letras.toStdString() << "\nin: " << factura.toStdString();
    const QString credito = text(renderer.CreateCreditoFiscalPDF(document.serie, document.numero));
    for (const QString& expected : {letras, pagare})
      EXPECT_TRUE(credito.contains(expected)) << expected.toStdString() << "\nin: " << credito.toStdString();
  }
}

TEST_F(DocumentRendererTest, NullPiecesFailOnlyTheLayoutsThatPrintThem) {
  Document document;
  document.set(QStringLiteral("tNombre"), QVariant());
  document.set(QStringLiteral("RazonSocial"), QVariant());
  document.vence = QVariant();
  Document noTotal;
  noTotal.numero = 126;
  noTotal.set(QStringLiteral("TOTAL"), QVariant());
  createDatabase({document, noTotal});
  EXPECT_TRUE(QFile::exists(renderer.CreateFacturaPDF(QStringLiteral("A"), 125)));
  const std::function<void()> failing[] = {
      [&] { renderer.CreateCreditoFiscalPDF(QStringLiteral("A"), 125); },
      [&] { renderer.CreateFacturaPDF(QStringLiteral("A"), 126); },
      [&] { renderer.CreateCreditoFiscalPDF(QStringLiteral("A"), 126); },
  };
  for (const auto& render : failing) {
    try {
      render();
      ADD_FAILURE() << "rendered";
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), kInvalidUseOfNull);
    }
  }
}

TEST_F(DocumentRendererTest, EmptyResultFailsBeforeTheBitmapAndLeavesTheConnectionOpen) {
  createDatabase({Document{}});
  try {
    renderer.CreateFacturaPDF(QStringLiteral("Z"), 1);
    FAIL() << "rendered";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), kNoCurrentRecord);
  }
  EXPECT_FALSE(dir.exists(QStringLiteral("qr/uno.bmp")));
  ASSERT_TRUE(database.hasDbConnection());
  EXPECT_TRUE(database.DbConnection().isOpen());
}

TEST_F(DocumentRendererTest, MissingQrFolderIsAClearError) {
  createDatabase({Document{}});
  QDir(dir.filePath(QStringLiteral("qr"))).removeRecursively();
  try {
    renderer.CreateFacturaPDF(QStringLiteral("A"), 125);
    FAIL() << "rendered";
  } catch (const Error& error) {
    EXPECT_TRUE(error.description().contains(QStringLiteral("uno.bmp"))) << error.description().toStdString();
  }
  EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("files"))).isEmpty());
}

TEST_F(DocumentRendererTest, IdThatIsNoPlainFileNameIsRefusedBeforeAnyFileIsWritten) {
  std::vector<Document> documents;
  const QStringList ids{"../escape", "a/b", "a\\b", "", ".."};
  for (int i = 0; i < ids.size(); ++i) {
    Document document;
    document.numero = i;
    document.set(QStringLiteral("IdDocumento"), ids[i]);
    documents.push_back(document);
  }
  createDatabase(documents);
  for (int i = 0; i < ids.size(); ++i) {
    EXPECT_THROW(renderer.CreateFacturaPDF(QStringLiteral("A"), i), Error) << ids[i].toStdString();
  }
  EXPECT_FALSE(dir.exists(QStringLiteral("qr/uno.bmp")));
  EXPECT_FALSE(dir.exists(QStringLiteral("escape.pdf")));
  EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("files"))).isEmpty());
}

TEST_F(DocumentRendererTest, EachDocumentCarriesItsOwnQrCodeAndTheCurrentEnvironment) {
  Document first;
  Document second;
  second.serie = QStringLiteral("O'B");
  second.numero = -7;
  second.set(QStringLiteral("IdDocumento"), QStringLiteral("SECOND-ID"));
  createDatabase({first, second});
  const QString firstPdf = renderer.CreateFacturaPDF(QStringLiteral("A"), 125);
  dir.querySqlite(QStringLiteral("ventas.db"), QStringLiteral("UPDATE Parametros SET Valor = '00'"));
  const QString secondPdf = renderer.CreateFacturaPDF(QStringLiteral("O'B"), -7);
  EXPECT_EQ(test::pdfQrCodes(firstPdf),
            QStringList{kPage + "?ambiente=01&codGen=5B1C9D3E-0A2B-4C6D-8E9F-A01112131415&fechaEmi=2023-10-04"});
  EXPECT_EQ(test::pdfQrCodes(secondPdf), QStringList{kPage + "?ambiente=00&codGen=SECOND-ID&fechaEmi=2023-10-04"});
}

TEST_F(DocumentRendererTest, SeveralRowsGiveOneLineEachWhileTheTextsComeFromTheFirst) {
  Document document;
  document.rows = documentRows(3);
  document.rows.rows[1][document.rows.columnIndex(QStringLiteral("TOTAL"))] = 5;
  createDatabase({document}, QString());
  const QString text = pdfText(renderer.CreateFacturaPDF(QStringLiteral("A"), 125));
  for (int item = 1; item <= 3; ++item) EXPECT_EQ(text.count(test::itemCode(item)), 1) << item;
  EXPECT_TRUE(text.contains(QStringLiteral("SON: ONCE MIL SEISCIENTOS SESENTA Y SIETE CON 33/100 DOLARES")));
  EXPECT_FALSE(text.contains(QStringLiteral("SON: CINCO")));
}

}  // namespace
}  // namespace corvex
