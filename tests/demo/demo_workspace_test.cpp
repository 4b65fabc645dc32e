#include "demo/demo_workspace.h"

#include "base/error.h"
#include "db/connection.h"
#include "db/connection_string.h"
#include "demo/demo_database.h"
#include "startup/configuration.h"
#include "startup/ini_file.h"
#include "support/temp_app_dir.h"

#include <QDir>
#include <QImage>

#include <gtest/gtest.h>

#include <cmath>

namespace corvex {
namespace {

using test::TempAppDir;

struct PendingDocument {
  QString serie;
  qint32 numero;
  int formato;
  std::size_t lines;
};

// The pending demo documents in Fecha order; FA-1250 is mailed already.
const PendingDocument kPending[] = {{"FA", 1251, 41, 4}, {"CF", 318, 40, 6}, {"CF", 319, 43, 60}, {"FA", 1253, 41, 4}};

const QStringList kViewColumns = {"IdDocumento", "SelloRecibido", "JSonDTE", "JSonFirmado", "Formato", "Serie",
                                  "Numero",      "eMail",         "tNombre", "NomCorp",     "Fecha"};

// What the renderer reads and what both layouts bind.
const QStringList kDocumentColumns = {"Fecha",
                                      "IdDocumento",
                                      "TOTAL",
                                      "tNombre",
                                      "RAZONSOCIAL",
                                      "VENCE",
                                      "Usuario",
                                      "NombreComercial",
                                      "emActividad",
                                      "emEstablecimiento",
                                      "emNit",
                                      "emNRC",
                                      "emDireccion",
                                      "Control",
                                      "Recibido",
                                      "FETipoDocumento",
                                      "FENumeroDocumento",
                                      "reNit",
                                      "reNRC",
                                      "Codigo",
                                      "tDireccion",
                                      "reActividad",
                                      "reMail",
                                      "PED_ID",
                                      "TIPOPAGO",
                                      "VENDEDOR",
                                      "IDFactura",
                                      "Entrega",
                                      "Instrucciones",
                                      "CANTIDAD",
                                      "IdArticulo",
                                      "Articulo",
                                      "Precio_Final",
                                      "Precio",
                                      "IITLinea",
                                      "TLinea",
                                      "VNETA",
                                      "IVA",
                                      "SUBTOTAL",
                                      "PERCEPCION",
                                      "Retencion",
                                      "Pagar"};

QString documentStatement(const QString& serie, qint32 numero, int opcion = 9) {
  return QStringLiteral("EXEC tovGetFESalvador @Opcion = %1, @Serie='%2', @Numero=%3")
      .arg(opcion)
      .arg(serie)
      .arg(numero);
}

double sumOf(RecordSet& rows, const QString& column) {
  double sum = 0;
  for (; !rows.eof(); rows.moveNext()) sum += rows.field(column).toNumber();
  return sum;
}

class DemoWorkspaceTest : public ::testing::Test {
 protected:
  // Opens the database the way start-up does: from main.ini's cString.
  std::unique_ptr<Connection> connect() {
    const QString server = ReadIniValue(demo.filePath(QStringLiteral("main.ini")), QStringLiteral("DB"),
                                        QStringLiteral("cString"), QString());
    auto connection = std::make_unique<Connection>(DbEnvironment{AppFolder(demo.path()), defaultOdbcDriver()});
    connection->open(buildConnectionString(server));
    return connection;
  }

  QStringList pendingKeys() {
    auto rows = connect()->execute(QStringLiteral("SELECT * FROM vwDTECorvex Order By Fecha"));
    QStringList keys;
    for (; !rows->eof(); rows->moveNext())
      keys << rows->field(QStringLiteral("Serie")).toText() + rows->field(QStringLiteral("Numero")).toText();
    return keys;
  }

  TempAppDir parent{{}};
  QDir demo{parent.filePath(QStringLiteral("a/corvex-demo"))};
};

TEST_F(DemoWorkspaceTest, CreatesTheFolderWithMainIniTheDatabaseAndEmptyFolders) {
  createDemoWorkspace(demo.path());
  EXPECT_EQ(parent.readFile(QStringLiteral("a/corvex-demo/main.ini")),
            QByteArray("[DB]\r\ncString=sqlite:corvex-demo.db\r\n"));
  EXPECT_TRUE(demo.exists(QStringLiteral("corvex-demo.db")));
  for (const char* folder : {"logs", "files", "qr", "outbox"}) {
    EXPECT_TRUE(QDir(demo.filePath(QString::fromLatin1(folder))).isEmpty()) << folder;
    EXPECT_TRUE(QDir(demo.filePath(QString::fromLatin1(folder))).exists()) << folder;
  }
}

TEST_F(DemoWorkspaceTest, TheViewListsThePendingDocumentsInFechaOrder) {
  createDemoWorkspace(demo.path());
  auto rows = connect()->execute(QStringLiteral("SELECT * FROM vwDTECorvex Order By Fecha"));
  EXPECT_EQ(rows->columns(), kViewColumns);
  ASSERT_EQ(rows->rowCount(), std::size(kPending));
  QDateTime previous;
  for (const PendingDocument& expected : kPending) {
    EXPECT_EQ(rows->field(QStringLiteral("SERIE")).toText(), expected.serie);
    EXPECT_EQ(rows->field(QStringLiteral("Numero")).toInt32(), expected.numero);
    EXPECT_EQ(rows->field(QStringLiteral("Formato")).toInt32(), expected.formato);
    for (const QString& column : kViewColumns) EXPECT_FALSE(rows->field(column).isNull()) << column.toStdString();
    const QDateTime fecha = rows->field(QStringLiteral("Fecha")).toDateTime();
    EXPECT_LT(previous, fecha);
    previous = fecha;
    rows->moveNext();
  }
}

TEST_F(DemoWorkspaceTest, NonAsciiTextSurvivesTheDatabase) {
  createDemoWorkspace(demo.path());
  auto rows = connect()->execute(QStringLiteral("SELECT tNombre, JSonDTE FROM vwDTECorvex WHERE Numero = 1253"));
  EXPECT_EQ(rows->field(QStringLiteral("tNombre")).toText(), QStringLiteral("José Peña Núñez"));
  EXPECT_TRUE(rows->field(QStringLiteral("JSonDTE")).toText().contains(QStringLiteral("Pasaje Ñuñoa #14")));
}

TEST_F(DemoWorkspaceTest, TheProcedureGivesOneRowPerLineWithEveryColumnTheLayoutsNeed) {
  createDemoWorkspace(demo.path());
  auto connection = connect();
  for (const PendingDocument& document : kPending) {
    SCOPED_TRACE(document.serie.toStdString() + std::to_string(document.numero));
    auto view = connection->execute(QStringLiteral("SELECT * FROM vwDTECorvex WHERE Serie = '%1' AND Numero = %2")
                                        .arg(document.serie)
                                        .arg(document.numero));
    auto rows = connection->execute(documentStatement(document.serie, document.numero));
    ASSERT_EQ(rows->rowCount(), document.lines);
    for (const QString& column : kDocumentColumns)
      EXPECT_TRUE(rows->columns().contains(column, Qt::CaseInsensitive)) << column.toStdString();
    EXPECT_EQ(rows->field(QStringLiteral("Fecha")).toDateTime(), view->field(QStringLiteral("Fecha")).toDateTime());
    EXPECT_EQ(rows->field(QStringLiteral("IdDocumento")).toText(), view->field(QStringLiteral("IdDocumento")).toText());
    EXPECT_EQ(rows->field(QStringLiteral("tNombre")).toText(), view->field(QStringLiteral("tNombre")).toText());
    EXPECT_FALSE(rows->field(QStringLiteral("Usuario")).toText().isEmpty());
    EXPECT_FALSE(rows->field(QStringLiteral("RAZONSOCIAL")).toText().isEmpty());
    const double total = rows->field(QStringLiteral("TOTAL")).toNumber();
    const double retencion = rows->field(QStringLiteral("Retencion")).toNumber();
    EXPECT_NEAR(rows->field(QStringLiteral("Pagar")).toNumber(), total - retencion, 0.005);
    EXPECT_NEAR(
        total,
        rows->field(QStringLiteral("SUBTOTAL")).toNumber() + rows->field(QStringLiteral("PERCEPCION")).toNumber(),
        0.005);
    const bool creditoFiscal = document.formato == 40 || document.formato == 43;
    if (creditoFiscal) {
      EXPECT_TRUE(rows->field(QStringLiteral("VENCE")).toDateTime().isValid());
    }
    const double vneta = rows->field(QStringLiteral("VNETA")).toNumber();
    const double subtotal = rows->field(QStringLiteral("SUBTOTAL")).toNumber();
    EXPECT_NEAR(sumOf(*rows, creditoFiscal ? QStringLiteral("TLinea") : QStringLiteral("IITLinea")),
                creditoFiscal ? vneta : subtotal, 0.005);
  }
}

TEST_F(DemoWorkspaceTest, TheProcedureGivesNoRowForAnotherKeyOrOption) {
  createDemoWorkspace(demo.path());
  auto connection = connect();
  EXPECT_EQ(connection->execute(documentStatement(QStringLiteral("FA"), 1250))->rowCount(), 1u);
  EXPECT_EQ(connection->execute(documentStatement(QStringLiteral("FA"), 318))->rowCount(), 0u);
  EXPECT_EQ(connection->execute(documentStatement(QStringLiteral("FA"), 1251, 8))->rowCount(), 0u);
  EXPECT_EQ(connection->execute(documentStatement(QStringLiteral("x'' OR ''a''=''a"), 1251))->rowCount(), 0u);
}

TEST_F(DemoWorkspaceTest, TheLogoIsAPictureInSysdata) {
  createDemoWorkspace(demo.path());
  auto rows = connect()->execute(QStringLiteral("SELECT LOGO FROM SYSDATA"));
  ASSERT_EQ(rows->rowCount(), 1u);
  const QByteArray bytes = rows->field(QStringLiteral("LOGO")).toBytes();
  EXPECT_EQ(bytes, demoResource(QStringLiteral("logo.png")));
  const QImage logo = QImage::fromData(bytes);
  EXPECT_EQ(logo.size(), QSize(120, 100));
}

TEST_F(DemoWorkspaceTest, ASecondRunStartsFresh) {
  createDemoWorkspace(demo.path());
  connect()->execute(QStringLiteral("UPDATE FACTURAS_ENC SET ENVIADA=1"));
  for (const char* file : {"outbox/1.eml", "files/x.json", "logs/20240304.txt", "qr/uno.bmp"})
    parent.writeFile(QStringLiteral("a/corvex-demo/") + QString::fromLatin1(file), "old");
  EXPECT_TRUE(pendingKeys().isEmpty());

  createDemoWorkspace(demo.path());
  EXPECT_EQ(pendingKeys(), (QStringList{"FA1251", "CF318", "CF319", "FA1253"}));
  for (const char* folder : {"logs", "files", "qr", "outbox"})
    EXPECT_TRUE(QDir(demo.filePath(QString::fromLatin1(folder))).isEmpty()) << folder;
}

TEST_F(DemoWorkspaceTest, RefusesAFolderThatHoldsSomethingElse) {
  parent.writeFile(QStringLiteral("mine.txt"), "keep me");
  QDir(parent.path()).mkdir(QStringLiteral("logs"));
  try {
    createDemoWorkspace(parent.path());
    FAIL() << "a foreign folder was used";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), 75);
    EXPECT_TRUE(error.description().contains(QDir::toNativeSeparators(parent.path()))) << error.what();
  }
  EXPECT_EQ(parent.readFile(QStringLiteral("mine.txt")), QByteArray("keep me"));
  EXPECT_TRUE(parent.exists(QStringLiteral("logs")));
  EXPECT_FALSE(parent.exists(QStringLiteral("main.ini")));
}

TEST(DemoDatabaseTest, SchemaOnlyWithExtraSql) {
  TempAppDir dir{{}};
  buildDemoDatabase(dir.filePath(QStringLiteral("t.db")), DemoContent::SchemaOnly,
                    QStringLiteral("UPDATE Parametros SET Valor = '01' WHERE Parametro = 'FESVAmbiente';\n"
                                   "INSERT INTO FACTURAS_ENC (SERIE, NUMERO, FECHA) VALUES ('Z', -7, '2023-10-04');"));
  EXPECT_EQ(dir.querySqlite(QStringLiteral("t.db"), QStringLiteral("SELECT Serie || Numero FROM vwDTECorvex")),
            QStringList{"Z-7"});
  EXPECT_EQ(dir.querySqlite(QStringLiteral("t.db"),
                            QStringLiteral("SELECT Valor FROM Parametros WHERE Parametro LIKE 'sys%' ORDER BY 1")),
            (QStringList{"", "", "25", "dte@laceiba.example", "facturacion@laceiba.example", "pickup:outbox",
                         "www.laceiba.example"}));
}

TEST(DemoDatabaseTest, FailuresLeaveNoFileAndNeverTouchAnExistingOne) {
  TempAppDir dir{{}};
  const QString file = dir.filePath(QStringLiteral("t.db"));
  EXPECT_THROW(buildDemoDatabase(file, DemoContent::Documents, QStringLiteral("INSERT INTO nowhere VALUES (1)")),
               Error);
  EXPECT_FALSE(dir.exists(QStringLiteral("t.db")));
  dir.writeFile(QStringLiteral("t.db"), "mine");
  try {
    buildDemoDatabase(file);
    FAIL() << "an existing file was used";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), kDatabaseError);
  }
  EXPECT_EQ(dir.readFile(QStringLiteral("t.db")), QByteArray("mine"));
}

}  // namespace
}  // namespace corvex
