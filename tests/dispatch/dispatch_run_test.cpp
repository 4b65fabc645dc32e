#include "demo/demo_database.h"
#include "support/pdf_tools.h"
#include "support/program.h"
#include "support/smtp_peer.h"
#include "support/temp_app_dir.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace corvex {
namespace {

using test::ProgramRun;
using test::SmtpPeer;
using test::SmtpPeerOptions;
using test::TempAppDir;

// The demo documents, by the Fecha order of the view.
const QString kFactura = QStringLiteral("FA-1251--carlos.mendoza@example.com");
const QString kCredito = QStringLiteral("CF-318--compras@lospinos.example");
const QString kLongCredito = QStringLiteral("CF-319--proveeduria@vistavolcan.example");
const QString kAccented = QStringLiteral("FA-1253--jose.pena@example.net");
const QString kSent = QStringLiteral("Corvex=> Email sent successfully! ");

// One Application folder with the demo database, run by the real program.
class DispatchProgramTest : public ::testing::Test {
 protected:
  void build(const QString& extraSql = QString(), DemoContent content = DemoContent::Documents) {
    buildDemoDatabase(dir.filePath(QStringLiteral("v.db")), content, extraSql);
    dir.writeFile(QStringLiteral("main.ini"), "[DB]\r\ncString=sqlite:v.db\r\n");
  }

  ProgramRun runOnce(const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    return test::runProgram({QStringLiteral("--once"), QStringLiteral("--app-dir"), dir.path()}, 120000, environment);
  }

  QStringList query(const QString& sql) const { return dir.querySqlite(QStringLiteral("v.db"), sql); }

  QStringList mailed() const {
    return query(
        QStringLiteral("SELECT SERIE || '-' || NUMERO FROM FACTURAS_ENC WHERE ENVIADA = 1 AND NUMERO <> 1250 "
                       "ORDER BY SERIE, NUMERO"));
  }

  // The log lines without their time stamps, and without the run's summary
  // line, whose counts the app tests check.
  QStringList log() const {
    QStringList lines;
    for (const QString& line : dir.logLines()) {
      if (!line.mid(22).startsWith(QStringLiteral("sendDTEbyMail=> Run: "))) lines << line.mid(22);
    }
    return lines;
  }

  QStringList pickedUp() const {
    QStringList files;
    const QDir outbox(dir.filePath(QStringLiteral("outbox")));
    for (const QString& name : outbox.entryList({QStringLiteral("*.eml")}, QDir::Files)) files << outbox.filePath(name);
    return files;
  }

  bool filesFolderEmpty() const { return QDir(dir.filePath(QStringLiteral("files"))).isEmpty(); }

  TempAppDir dir{{QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr"), QStringLiteral("outbox")}};
};

TEST_F(DispatchProgramTest, EmptyViewWritesNothingAndShowsTheTime) {
  build(QString(), DemoContent::SchemaOnly);
  const ProgramRun run = runOnce();
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(run.out.startsWith("Main\nLast Run: 20"));
  EXPECT_TRUE(pickedUp().isEmpty());
  EXPECT_TRUE(log().isEmpty());
}

TEST_F(DispatchProgramTest, MailsEveryPendingDocumentInFechaOrderOverStartTlsWithAuth) {
  SmtpPeerOptions options;
  options.user = QStringLiteral("dte");
  options.password = QStringLiteral("s3cret");
  SmtpPeer peer(options);
  // The last document gets the earliest date, so it must go first.
  build(QStringLiteral("UPDATE FACTURAS_ENC SET FECHA = '2024-01-02 09:00:00' WHERE NUMERO = 1253;\n"
                       "UPDATE Parametros SET Valor = '127.0.0.1' WHERE Parametro = 'sysSMTPServer';\n"
                       "UPDATE Parametros SET Valor = '%1' WHERE Parametro = 'sysSMTPPort';\n"
                       "UPDATE Parametros SET Valor = 'dte' WHERE Parametro = 'sysSMTPUser';\n"
                       "UPDATE Parametros SET Valor = 's3cret' WHERE Parametro = 'sysSMTPPassword';\n")
            .arg(peer.port()));
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("CURL_CA_BUNDLE"), peer.caBundle());
  const ProgramRun run = runOnce(environment);

  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_EQ(log(), (QStringList{kSent + kAccented, kSent + kFactura, kSent + kCredito, kSent + kLongCredito}));
  EXPECT_EQ(mailed(), (QStringList{"CF-318", "CF-319", "FA-1251", "FA-1253"}));
  EXPECT_TRUE(filesFolderEmpty());
  const QStringList messages = peer.messageFiles();
  ASSERT_EQ(messages.size(), 4);
  const QJsonObject first = SmtpPeer::decode(messages[0]);
  EXPECT_EQ(first.value(QStringLiteral("headers")).toObject().value(QStringLiteral("Subject")).toString(),
            QStringLiteral("Envío de DTE"));
  EXPECT_EQ(SmtpPeer::envelope(messages[0]).value(QStringLiteral("rcpt_tos")).toArray().first().toString(),
            QStringLiteral("jose.pena@example.net"));
  const QByteArray body = QByteArray::fromBase64(first.value(QStringLiteral("body")).toString().toLatin1());
  EXPECT_TRUE(
      body.startsWith("Estimado (a): Jos\xC3\xA9 Pe\xC3\xB1"
                      "a N\xC3\xBA\xC3\xB1"
                      "ez\r\n\nAdjunto"))
      << body.toStdString();
  EXPECT_TRUE(body.endsWith("Atentamente,\r\n\nFERRETERIA LA CEIBA"));
}

TEST_F(DispatchProgramTest, JsonFileIsTheOriginalTextWithSignatureAndSealAppended) {
  build();
  ASSERT_EQ(runOnce().exitCode, 0);
  const QStringList row = query(QStringLiteral(
      "SELECT JSONDTE || char(1) || JSONFIRMADO || char(1) || SELLORECIBIDO FROM FACTURAS_ENC WHERE NUMERO = 1253"));
  const QStringList parts = row.first().split(QChar(1));
  const QByteArray original = parts[0].toUtf8().trimmed();
  const QString signature =
      QJsonDocument::fromJson(parts[1].toUtf8()).object().value(QStringLiteral("body")).toString();
  const QByteArray expected = original.left(original.lastIndexOf('}')) + ",\"firmaElectronica\":\"" +
                              signature.toUtf8() + "\",\"selloRecibido\":\"" + parts[2].toUtf8() + "\"}\r\n";
  QByteArray json;
  for (const QString& file : pickedUp()) {
    const QJsonObject message = SmtpPeer::decode(file);
    if (message.value(QStringLiteral("headers")).toObject().value(QStringLiteral("To")).toString().contains("jose"))
      json = SmtpPeer::attachment(message, QStringLiteral(".json"));
  }
  EXPECT_EQ(json, expected);
  EXPECT_TRUE(
      json.contains("Pe\xC3\xB1"
                    "a"));
}

TEST_F(DispatchProgramTest, FormatoChoosesTheLayout) {
  // 43 is a Credito Fiscal like 40, 44 a Factura like 41.
  build(
      QStringLiteral("UPDATE FACTURAS_ENC SET FORMATO = 44 WHERE NUMERO = 1251;\n"
                     "DELETE FROM FACTURAS_DET WHERE NUMERO = 319 AND LINEA > 3;\n"));
  ASSERT_EQ(runOnce().exitCode, 0);
  QMap<QString, QString> layoutByRecipient;
  for (const QString& file : pickedUp()) {
    const QJsonObject message = SmtpPeer::decode(file);
    QTemporaryDir pdfDir;
    QFile pdf(pdfDir.filePath(QStringLiteral("d.pdf")));
    ASSERT_TRUE(pdf.open(QIODevice::WriteOnly));
    pdf.write(SmtpPeer::attachment(message, QStringLiteral(".pdf")));
    pdf.close();
    const QString text = test::pdfText(pdf.fileName());
    layoutByRecipient[message.value(QStringLiteral("headers")).toObject().value(QStringLiteral("To")).toString()] =
        text.contains(QStringLiteral("COMPROBANTE DE CREDITO FISCAL")) ? QStringLiteral("CF") : QStringLiteral("FA");
  }
  EXPECT_EQ(layoutByRecipient.value(QStringLiteral("carlos.mendoza@example.com")), QStringLiteral("FA"));
  EXPECT_EQ(layoutByRecipient.value(QStringLiteral("compras@lospinos.example")), QStringLiteral("CF"));
  EXPECT_EQ(layoutByRecipient.value(QStringLiteral("proveeduria@vistavolcan.example")), QStringLiteral("CF"));
  EXPECT_EQ(layoutByRecipient.value(QStringLiteral("jose.pena@example.net")), QStringLiteral("FA"));
}

TEST_F(DispatchProgramTest, FailedSendLeavesTheRowPendingAndTheRunGoesOn) {
  SmtpPeerOptions options;
  options.rejectRecipient = QStringLiteral("compras@lospinos.example");
  SmtpPeer peer(options);
  build(QStringLiteral("UPDATE Parametros SET Valor = '127.0.0.1' WHERE Parametro = 'sysSMTPServer';\n"
                       "UPDATE Parametros SET Valor = '%1' WHERE Parametro = 'sysSMTPPort';\n")
            .arg(peer.port()));
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("CURL_CA_BUNDLE"), peer.caBundle());
  EXPECT_EQ(runOnce(environment).exitCode, 0);
  const QStringList lines = log();
  ASSERT_EQ(lines.size(), 4);
  EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Corvex=> Email send failed: "))) << lines[1].toStdString();
  EXPECT_EQ(mailed(), (QStringList{"CF-319", "FA-1251", "FA-1253"}));
  EXPECT_TRUE(filesFolderEmpty());
  EXPECT_EQ(peer.messageFiles().size(), 3);
}

struct BadRowCase {
  const char* name;
  QString sql;
  QString logStart;
};

TEST_F(DispatchProgramTest, AnErrorInTheSecondRowStopsTheRunThere) {
  const BadRowCase cases[] = {
      {"null eMail", "UPDATE FACTURAS_ENC SET EMAIL = NULL WHERE NUMERO = 318", "sendDTEbyMail=> Invalid use of Null"},
      {"invalid JSON", "UPDATE FACTURAS_ENC SET JSONDTE = '{\"a\": 1' WHERE NUMERO = 318", "sendDTEbyMail=> "},
      {"JSON array", "UPDATE FACTURAS_ENC SET JSONDTE = '[1, 2]' WHERE NUMERO = 318", "sendDTEbyMail=> "},
      {"unsigned", "UPDATE FACTURAS_ENC SET JSONFIRMADO = '{\"status\":\"OK\"}' WHERE NUMERO = 318",
       "sendDTEbyMail=> "},
      {"total no number", "UPDATE FACTURAS_ENC SET TOTAL = 'cien' WHERE NUMERO = 318", "sendDTEbyMail=> Type mismatch"},
  };
  for (const BadRowCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempAppDir fresh({QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr"), QStringLiteral("outbox")});
    std::swap(dir, fresh);
    build(c.sql + QStringLiteral(";\n"));
    const ProgramRun run = runOnce();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.endsWith("Main\nError\n")) << run.out.toStdString();
    const QStringList lines = log();
    ASSERT_EQ(lines.size(), 2) << lines.join('\n').toStdString();
    EXPECT_EQ(lines[0], kSent + kFactura);
    EXPECT_TRUE(lines[1].startsWith(c.logStart)) << lines[1].toStdString();
    EXPECT_EQ(mailed(), QStringList{"FA-1251"});
    EXPECT_EQ(pickedUp().size(), 1);
  }
}

// A Formato of neither original layout prints from the document's JSON; a
// JSON that cannot be printed keeps its own row pending, and only it.
TEST_F(DispatchProgramTest, RowWithoutLayoutIsPrintedFromItsJsonOrStaysPendingWithoutStoppingTheOthers) {
  build(QStringLiteral(
      "UPDATE FACTURAS_ENC SET FORMATO = 42 WHERE NUMERO = 318;\n"
      "UPDATE FACTURAS_ENC SET FORMATO = NULL, JSONDTE = '{\"identificacion\": {}}' WHERE NUMERO = 319;\n"));
  EXPECT_EQ(runOnce().exitCode, 0);
  const QStringList lines = log();
  ASSERT_EQ(lines.size(), 4) << lines.join('\n').toStdString();
  EXPECT_EQ(lines.filter(QStringLiteral("sendDTEbyMail=> CF-319--")).size(), 1) << lines.join('\n').toStdString();
  EXPECT_EQ(mailed(), (QStringList{"CF-318", "FA-1251", "FA-1253"}));
  EXPECT_TRUE(filesFolderEmpty());
}

// Files are named after the id: the second document waits for the first
// to be mailed and its files removed before its own are written.
TEST_F(DispatchProgramTest, DocumentsSharingAnIdAreEachMailedWithTheirOwnFiles) {
  build(
      QStringLiteral("UPDATE FACTURAS_ENC SET IDDOCUMENTO = "
                     "(SELECT IDDOCUMENTO FROM FACTURAS_ENC WHERE NUMERO = 1251) WHERE NUMERO = 319;\n"));
  EXPECT_EQ(runOnce().exitCode, 0);
  EXPECT_EQ(mailed(), (QStringList{"CF-318", "CF-319", "FA-1251", "FA-1253"})) << log().join('\n').toStdString();
  EXPECT_EQ(pickedUp().size(), 4);
  EXPECT_TRUE(filesFolderEmpty());
}

TEST_F(DispatchProgramTest, QuotedSeriesIsMailedAndMarked) {
  build(
      QStringLiteral("UPDATE FACTURAS_DET SET SERIE = 'F''A' WHERE NUMERO = 1251;\n"
                     "UPDATE FACTURAS_ENC SET SERIE = 'F''A' WHERE NUMERO = 1251;\n"));
  EXPECT_EQ(runOnce().exitCode, 0);
  EXPECT_EQ(log().first(), kSent + QStringLiteral("F'A-1251--carlos.mendoza@example.com"));
  EXPECT_EQ(query(QStringLiteral("SELECT ENVIADA FROM FACTURAS_ENC WHERE SERIE = 'F''A'")), QStringList{"1"});
  EXPECT_EQ(query(QStringLiteral("SELECT COUNT(*) FROM FACTURAS_ENC WHERE ENVIADA = 1")), QStringList{"5"});
}

}  // namespace
}  // namespace corvex
