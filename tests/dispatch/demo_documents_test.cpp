#include "base/file_name.h"
#include "db/connection.h"
#include "demo/demo_database.h"
#include "dispatch/json_document.h"
#include "support/temp_app_dir.h"

#include <QRegularExpression>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

namespace corvex {
namespace {

// The demo documents are what the dispatch run meets first: every one must
// go through the JSON handling the run does, unchanged but for the two members.
TEST(DemoDocumentsTest, EveryPendingDocumentSignsIntoValidJson) {
  test::TempAppDir dir{{}};
  buildDemoDatabase(dir.filePath(QStringLiteral("demo.db")));
  Connection connection(DbEnvironment{dir.folder(), QString()});
  connection.open(QStringLiteral("Data Source=sqlite:demo.db"));
  auto rows = connection.execute(QStringLiteral("SELECT * FROM vwDTECorvex Order By Fecha"));
  ASSERT_GE(rows->rowCount(), 4u);
  JsonDocument dte;
  JsonDocument firmado;
  for (; !rows->eof(); rows->moveNext()) {
    const QString id = rows->field(QStringLiteral("IdDocumento")).toText();
    const QString original = rows->field(QStringLiteral("JSonDTE")).toText();
    SCOPED_TRACE(id.toStdString());
    EXPECT_NO_THROW(requirePlainFileName(id, QStringLiteral("IdDocumento")));
    dte.LoadJson(original);
    firmado.LoadJson(rows->field(QStringLiteral("JSonFirmado")).toText());
    const QString firma = firmado.GetMemberText(QStringLiteral("body"));
    const QString sello = rows->field(QStringLiteral("SelloRecibido")).toText();
    dte.InsertMemberText(-1, QStringLiteral("firmaElectronica"), firma);
    dte.InsertMemberText(-1, QStringLiteral("selloRecibido"), sello);
    const QString text = dte.ToJsonText();
    EXPECT_TRUE(text.startsWith(original.left(original.lastIndexOf(QLatin1Char('}')))));

    const nlohmann::json json = nlohmann::json::parse(text.toStdString());
    const auto& identificacion = json.at("identificacion");
    EXPECT_EQ(QString::fromStdString(identificacion.at("codigoGeneracion")), id);
    const bool creditoFiscal = QList<int>{40, 43}.contains(rows->field(QStringLiteral("Formato")).toInt32());
    EXPECT_EQ(identificacion.at("tipoDte"), creditoFiscal ? "03" : "01");
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^DTE-0[13]-M001P001-\\d{15}$"))
                    .match(QString::fromStdString(identificacion.at("numeroControl")))
                    .hasMatch());
    EXPECT_EQ(QString::fromStdString(json.at("selloRecibido")), sello);
    // The signature's payload is the document as generated.
    const QStringList parts = firma.split(QLatin1Char('.'));
    ASSERT_EQ(parts.size(), 3);
    EXPECT_EQ(QByteArray::fromBase64(parts[1].toLatin1(), QByteArray::Base64UrlEncoding), original.toUtf8());
  }
}

}  // namespace
}  // namespace corvex
