#include "support/delivery_check.h"
#include "support/demo_setup.h"
#include "support/pdf_tools.h"
#include "support/peer_process.h"
#include "support/program.h"
#include "support/smtp_peer.h"
#include "support/temp_app_dir.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace corvex {
namespace {

using test::TempAppDir;

// The documents of every type in both generations, 3 and 45 items, as the
// view holds them and as the program writes them signed, with what each
// printed version must show.
struct Fixtures {
  QTemporaryDir plain;
  QTemporaryDir signedFiles;
  QJsonArray index;

  Fixtures() {
    const QString script = test::supportScript(QStringLiteral("dte_fixtures.py"));
    test::runTool(QStringLiteral("python3"), {script, plain.path()});
    test::runTool(QStringLiteral("python3"), {script, signedFiles.path(), QStringLiteral("--signed")});
    QFile file(plain.filePath(QStringLiteral("index.json")));
    if (file.open(QIODevice::ReadOnly)) index = QJsonDocument::fromJson(file.readAll()).array();
  }
};

const Fixtures& fixtures() {
  static const Fixtures all;
  return all;
}

QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString withoutSpaces(QString text) { return text.remove(QRegularExpression(QStringLiteral("\\s"))); }

// Each text box's lines one after the other, as the page draws them: a long
// description stays whole however it wraps, whatever prints beside it.
QString drawnText(const QString& pdf) {
  return withoutSpaces(test::runTool(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), pdf, QStringLiteral("-")}));
}

// What the buyer must find in the PDF of the document `expected` describes.
void checkPrinted(const QString& pdf, const QJsonObject& expected) {
  const QString file = expected.value(QStringLiteral("file")).toString();
  SCOPED_TRACE(file.toStdString());
  const QString text = drawnText(pdf);
  for (const char* key : {"codigoGeneracion", "numeroControl", "sello", "issuerName", "issuerNit", "counterpartyName",
                          "total", "fecEmi"}) {
    const QString value = withoutSpaces(expected.value(QLatin1String(key)).toString());
    EXPECT_TRUE(!value.isEmpty() && text.contains(value)) << key << ": " << value.toStdString();
  }
  EXPECT_TRUE(text.contains(withoutSpaces(expected.value(QStringLiteral("typeName")).toString()), Qt::CaseInsensitive));
  for (const QString& list : {QStringLiteral("descriptions"), QStringLiteral("facts")}) {
    for (const QJsonValue& value : expected.value(list).toArray())
      EXPECT_TRUE(text.contains(withoutSpaces(value.toString())))
          << list.toStdString() << ": " << value.toString().toStdString();
  }
  const QString words = withoutSpaces(expected.value(QStringLiteral("words")).toString());
  EXPECT_TRUE(words.isEmpty() || text.contains(words)) << "words: " << words.toStdString();
  const QStringList codes = test::pdfQrCodes(pdf);
  const int pages = test::pdfPageCount(pdf);
  EXPECT_EQ(codes, QStringList(pages, expected.value(QStringLiteral("qr")).toString())) << "one symbol a page";
  if (expected.value(QStringLiteral("items")).toInt() == 45) {
    EXPECT_GE(pages, 2);
  }
  for (int page = 1; page <= pages; ++page)
    EXPECT_TRUE(text.contains(QStringLiteral("Página%1de%2").arg(page).arg(pages))) << page << " of " << pages;
}

int numeroOf(const QJsonObject& expected) {
  return expected.value(QStringLiteral("tipoDte")).toString().toInt() * 100 +
         expected.value(QStringLiteral("items")).toInt() +
         (expected.value(QStringLiteral("generation")).toInt() == 2 ? 5000 : 0);
}

QString sqlText(const QString& text) {
  return QLatin1Char('\'') + QString(text).replace('\'', "''") + QLatin1Char('\'');
}

// The view's row of one document: Serie DT, Numero type * 100 + items, 5000
// more in the second generation.
struct Row {
  int numero;
  QString idDocumento;
  QString json;
  QString formato;  // SQL: a number or NULL
  QString sello;

  QString eMail() const { return QStringLiteral("dte%1@buyer.example").arg(numero); }
  QString key() const { return QStringLiteral("DT-%1").arg(numero); }
  QString insert() const {
    return QStringLiteral(
               "INSERT INTO FACTURAS_ENC (SERIE, NUMERO, ENVIADA, FECHA, FORMATO, IDDOCUMENTO, SELLORECIBIDO, JSONDTE, "
               "JSONFIRMADO, EMAIL, NOMBRE) VALUES ('DT', %1, 0, '2024-03-14 15:07:%2', %3, %4, %5, %6, "
               "'{\"status\":\"OK\",\"body\":\"firma\"}', '%7', 'Comprador');\n")
        .arg(numero)
        .arg(numero % 60, 2, 10, QLatin1Char('0'))
        .arg(formato, sqlText(idDocumento), sqlText(sello), sqlText(json), eMail());
  }
};

// The fixture documents of one generation of the schemas.
QJsonArray documentsOf(int generation) {
  QJsonArray documents;
  for (const QJsonValue& value : fixtures().index)
    if (value.toObject().value(QStringLiteral("generation")).toInt() == generation) documents.append(value);
  return documents;
}

// `row`'s document under another codigoGeneracion, with `version` instead of
// its own.
Row laterVersion(const Row& row, int numero, const QString& version) {
  const QString id = QStringLiteral("C0000000-0000-0000-0000-00000000%1").arg(numero);
  QString json = QString(row.json).replace(row.idDocumento, id, Qt::CaseInsensitive);
  json.replace(QRegularExpression(QStringLiteral("\"version\": *\\d+")), QStringLiteral("\"version\": ") + version);
  return {numero, id, json, QStringLiteral("NULL"), row.sello};
}

// Every fixture document of one generation, its Formato outside the two
// original layouts (or, under Source=json, inside them too), one in lower
// case, and three that cannot be printed: not JSON, an unknown type, another
// document's JSON. The second generation adds two Facturas of a version later
// than the program knows, which print all the same.
std::vector<Row> rows(bool json, int generation) {
  std::vector<Row> all;
  const QStringList formatos = json ? QStringList{QStringLiteral("41"), QStringLiteral("43"), QStringLiteral("NULL")}
                                    : QStringList{QStringLiteral("NULL"), QStringLiteral("1"), QStringLiteral("42")};
  for (const QJsonValue& value : documentsOf(generation)) {
    const QJsonObject expected = value.toObject();
    const int numero = numeroOf(expected);
    const QString id = expected.value(QStringLiteral("codigoGeneracion")).toString();
    all.push_back(
        {numero, all.size() == 1 ? id.toLower() : id,
         QString::fromUtf8(readAll(fixtures().plain.filePath(expected.value(QStringLiteral("file")).toString()))),
         formatos[all.size() % formatos.size()], expected.value(QStringLiteral("sello")).toString()});
  }
  const Row& some = all.front();
  all.push_back({9001, QStringLiteral("A0000000-0000-0000-0000-000000009001"), QStringLiteral("{\"identificacion\":"),
                 QStringLiteral("NULL"), some.sello});
  QString unknownType = some.json;
  unknownType.replace(QStringLiteral("\"tipoDte\": \"01\""), QStringLiteral("\"tipoDte\": \"99\""));
  unknownType.replace(QStringLiteral("\"tipoDte\":\"01\""), QStringLiteral("\"tipoDte\":\"99\""));
  all.push_back({9002, some.idDocumento, unknownType, QStringLiteral("NULL"), some.sello});
  all.push_back(
      {9003, QStringLiteral("B0000000-0000-0000-0000-000000009003"), some.json, QStringLiteral("NULL"), some.sello});
  if (generation == 2) {
    all.push_back(laterVersion(some, 9004, QStringLiteral("3")));
    all.push_back(laterVersion(some, 9005, QStringLiteral("3")));
  }
  return all;
}

const QStringList kBadKeys{QStringLiteral("DT-9001"), QStringLiteral("DT-9002"), QStringLiteral("DT-9003")};

QStringList outbox(const TempAppDir& dir) {
  QStringList messages;
  QDir folder(dir.filePath(QStringLiteral("outbox")));
  for (const QString& name : folder.entryList({QStringLiteral("*.eml")}, QDir::Files))
    messages << folder.filePath(name);
  return messages;
}

QString messageTo(const QStringList& messages, const QString& eMail) {
  for (const QString& message : messages) {
    if (readAll(message).contains(eMail.toUtf8())) return message;
  }
  return {};
}

// Source=json or not, and the generation of the schemas.
class DteProgramTest : public ::testing::TestWithParam<std::tuple<bool, int>> {};

// Formato outside the four codes, or Source=json on a database without the
// stored procedure: every type of either generation mailed once, marked,
// printed from its JSON; the three that cannot be printed stay pending, each
// with its own log line; a later version is logged once.
TEST_P(DteProgramTest, EveryTypeIsMailedPrintedFromItsJson) {
  const auto [sourceJson, generation] = GetParam();
  ASSERT_EQ(fixtures().index.size(), 42);
  ASSERT_EQ(documentsOf(generation).size(), 21);
  TempAppDir dir(test::demoRunFolders());
  const std::vector<Row> all = rows(sourceJson, generation);
  QString sql = QStringLiteral("DELETE FROM FACTURAS_DET;\nDELETE FROM FACTURAS_ENC;\n");
  if (sourceJson) sql += QStringLiteral("DELETE FROM procedures;\n");
  for (const Row& row : all) sql += row.insert();
  test::writeDemoSetUp(dir, sql);
  if (sourceJson)
    dir.writeFile(QStringLiteral("main.ini"), "[DB]\r\ncString=sqlite:ventas.db\r\n[Render]\r\nSource=json\r\n");

  const auto run = test::runProgram({QStringLiteral("--once"), QStringLiteral("--app-dir"), dir.path()}, 300000);
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  const QStringList messages = outbox(dir);
  QStringList pending;
  EXPECT_EQ(test::brokenPromises(dir, QStringLiteral("ventas.db"), messages, &pending).join(QLatin1Char('\n')),
            QString());
  EXPECT_EQ(pending.join(QLatin1Char(' ')), kBadKeys.join(QLatin1Char(' ')));
  const QStringList log = dir.logLines();
  for (const QString& key : kBadKeys)
    EXPECT_EQ(log.filter(QStringLiteral("sendDTEbyMail=> ") + key + QStringLiteral("--")).size(), 1)
        << key.toStdString() << "\n"
        << log.join(QLatin1Char('\n')).toStdString();
  EXPECT_EQ(log.filter(QStringLiteral("DTE 01 (Factura) version 3 is later than this program knows")).size(),
            generation == 2 ? 1 : 0);

  QTemporaryDir pdfs;
  for (const QJsonValue& value : documentsOf(generation)) {
    const QJsonObject expected = value.toObject();
    const int numero = numeroOf(expected);
    const QString message = messageTo(messages, QStringLiteral("dte%1@buyer.example").arg(numero));
    ASSERT_FALSE(message.isEmpty()) << numero;
    const QString pdf = pdfs.filePath(QString::number(numero) + QStringLiteral(".pdf"));
    QFile out(pdf);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(test::SmtpPeer::attachment(test::SmtpPeer::decode(message), QStringLiteral(".pdf")));
    out.close();
    checkPrinted(pdf, expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Sources, DteProgramTest, ::testing::Combine(::testing::Bool(), ::testing::Values(1, 2)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param) ? "SourceJson" : "FormatoOutsideTheFour") +
                                  (std::get<1>(info.param) == 2 ? "SecondGeneration" : "FirstGeneration");
                         });

// An integrator's check of a layout: the signed file as the program writes
// it, printed into files/; a file that cannot be printed says why.
TEST(DteRenderCommandTest, PrintsAnySignedFileAndRefusesABadOne) {
  TempAppDir dir(test::demoRunFolders());
  test::writeDemoSetUp(dir);
  for (const QJsonValue& value : fixtures().index) {
    const QJsonObject expected = value.toObject();
    const QString file = fixtures().signedFiles.filePath(expected.value(QStringLiteral("file")).toString());
    const auto run = test::runProgram(
        {QStringLiteral("render"), QStringLiteral("dte"), file, QStringLiteral("--app-dir"), dir.path()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString pdf = QString::fromUtf8(run.out).trimmed();
    EXPECT_EQ(pdf,
              dir.filePath(QStringLiteral("files/") + expected.value(QStringLiteral("codigoGeneracion")).toString() +
                           QStringLiteral(".pdf")));
    checkPrinted(pdf, expected);
  }
  dir.writeFile(QStringLiteral("bad.json"), "{\"identificacion\": {\"tipoDte\": \"01\"}}");
  const auto bad =
      test::runProgram({QStringLiteral("render"), QStringLiteral("dte"), dir.filePath(QStringLiteral("bad.json")),
                        QStringLiteral("--app-dir"), dir.path()});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_TRUE(bad.out.isEmpty());
  EXPECT_FALSE(bad.err.trimmed().isEmpty());
}

}  // namespace
}  // namespace corvex
