#include "support/demo_setup.h"
#include "support/program.h"
#include "support/smtp_peer.h"
#include "support/temp_app_dir.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace corvex {
namespace {

using test::runProgram;
using test::SmtpPeer;
using test::SmtpPeerOptions;
using test::TempAppDir;

const QStringList kFolders = test::demoRunFolders();

QProcessEnvironment headlessEnvironment() {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR", "QT_QPA_PLATFORM"})
    environment.remove(QString::fromLatin1(name));
  return environment;
}

TEST(TestMailTest, SendsSamplesOfBothLayoutsAndMarksNothing) {
  SmtpPeerOptions options;
  options.user = QStringLiteral("dte");
  options.password = QStringLiteral("s3cret");
  options.rejectRecipient = QStringLiteral("nobody@example.com");
  SmtpPeer peer(options);
  TempAppDir dir(kFolders);
  test::writeDemoSetUp(dir,
                       QStringLiteral("UPDATE Parametros SET Valor = '127.0.0.1' WHERE Parametro = 'sysSMTPServer';\n"
                                      "UPDATE Parametros SET Valor = '%1' WHERE Parametro = 'sysSMTPPort';\n"
                                      "UPDATE Parametros SET Valor = 'dte' WHERE Parametro = 'sysSMTPUser';\n"
                                      "UPDATE Parametros SET Valor = 's3cret' WHERE Parametro = 'sysSMTPPassword';\n")
                           .arg(peer.port()));
  QProcessEnvironment environment = headlessEnvironment();
  environment.insert(QStringLiteral("CURL_CA_BUNDLE"), peer.caBundle());
  const auto run = runProgram(
      {QStringLiteral("test-mail"), QStringLiteral("admin@example.com"), QStringLiteral("--app-dir"), dir.path()},
      90000, environment);
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_EQ(QString::fromUtf8(run.out).trimmed(), QStringLiteral("250 Message accepted"));
  EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();

  const QStringList messages = peer.messageFiles();
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(SmtpPeer::envelope(messages[0])[QStringLiteral("rcpt_tos")].toArray().at(0).toString(),
            QStringLiteral("admin@example.com"));
  const QJsonArray attachments = SmtpPeer::decode(messages[0])[QStringLiteral("attachments")].toArray();
  QStringList types;
  for (const auto& attachment : attachments) types << attachment.toObject()[QStringLiteral("content_type")].toString();
  EXPECT_EQ(types, (QStringList{QStringLiteral("application/json"), QStringLiteral("application/pdf"),
                                QStringLiteral("application/pdf")}));

  const auto refused = runProgram(
      {QStringLiteral("test-mail"), QStringLiteral("nobody@example.com"), QStringLiteral("--app-dir"), dir.path()},
      90000, environment);
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_TRUE(QString::fromUtf8(refused.err)
                  .startsWith(QStringLiteral("corvex: RCPT TO:<nobody@example.com> failed: 550 5.1.1 Mailbox "
                                             "unavailable Hint: the recipient's address does not exist")))
      << refused.err.toStdString();
  EXPECT_EQ(peer.messageFiles().size(), 1);

  EXPECT_EQ(dir.querySqlite(QStringLiteral("ventas.db"),
                            QStringLiteral("SELECT COUNT(*) FROM FACTURAS_ENC WHERE ENVIADA = 1")),
            QStringList{QStringLiteral("1")});
  EXPECT_TRUE(dir.logLines().isEmpty());
  EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("files"))).isEmpty());
}

TEST(TestMailTest, WritesIntoThePickupFolder) {
  TempAppDir dir(kFolders);
  test::writeDemoSetUp(dir);
  const auto run = runProgram(
      {QStringLiteral("test-mail"), QStringLiteral("admin@example.com"), QStringLiteral("--app-dir"), dir.path()},
      90000, headlessEnvironment());
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  const QStringList written = QDir(dir.filePath(QStringLiteral("outbox"))).entryList({QStringLiteral("*.eml")});
  ASSERT_EQ(written.size(), 1);
  EXPECT_EQ(QString::fromUtf8(run.out).trimmed(),
            QStringLiteral("written to ") + dir.filePath(QStringLiteral("outbox/")) + written[0]);
  EXPECT_EQ(SmtpPeer::decode(dir.filePath(QStringLiteral("outbox/")) + written[0])[QStringLiteral("attachments")]
                .toArray()
                .size(),
            3);
}

}  // namespace
}  // namespace corvex
