// Bounces read back by the real program: once against a real Postfix that
// bounces a mail to an address that does not exist into the sender's
// mailbox, which a real Dovecot serves (IMAPS with a password, IMAP with
// STARTTLS and an OAuth token); and against the Graph emulator's mailbox,
// with the reports a careless or hostile mailbox holds.
#include "demo/demo_database.h"
#include "mail/delivery_ledger.h"
#include "support/dovecot_peer.h"
#include "support/oauth_peer.h"
#include "support/poll.h"
#include "support/postfix_peer.h"
#include "support/program.h"
#include "support/temp_app_dir.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace corvex {
namespace {

using test::ProgramRun;
using test::TempAppDir;

constexpr int kWaitMs = 60000;
const QString kBadAddress = QStringLiteral("nadie@laceiba.example");

// The demo's documents, every buyer at example.com but one whose address
// does not exist.
QString buyersSql(const QString& server, int port) {
  return QStringLiteral(
             "UPDATE FACTURAS_ENC SET EMAIL = 'buyer' || NUMERO || '@example.com';\n"
             "UPDATE FACTURAS_ENC SET EMAIL = '%1' WHERE NUMERO = 318;\n"
             "UPDATE Parametros SET Valor = '%2' WHERE Parametro = 'sysSMTPServer';\n"
             "UPDATE Parametros SET Valor = '%3' WHERE Parametro = 'sysSMTPPort';\n")
      .arg(kBadAddress, server)
      .arg(port);
}

ProgramRun corvex(const TempAppDir& dir, const QStringList& arguments, const QString& caBundle) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  if (!caBundle.isEmpty()) environment.insert(QStringLiteral("CURL_CA_BUNDLE"), caBundle);
  return test::runProgram(arguments + QStringList{QStringLiteral("--app-dir"), dir.path()}, 120000, environment);
}

ProgramRun runOnce(const TempAppDir& dir, const QString& caBundle) {
  const ProgramRun run = corvex(dir, {QStringLiteral("--once")}, caBundle);
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString() << dir.logLines().join(u'\n').toStdString();
  return run;
}

QList<QJsonObject> ledgerLines(const TempAppDir& dir, const QString& kind) {
  QList<QJsonObject> lines;
  for (const QByteArray& line : dir.readFile(DeliveryLedger::fileName(QDate::currentDate())).split('\n')) {
    const QJsonObject object = QJsonDocument::fromJson(line.trimmed()).object();
    if (object[QStringLiteral("kind")].toString() == kind) lines << object;
  }
  return lines;
}

QStringList logged(const TempAppDir& dir, const QString& text) {
  QStringList lines;
  for (const QString& line : dir.logLines())
    if (line.contains(text)) lines << line.mid(22);
  return lines;
}

int filesIn(const QString& maildir, const QString& folder) {
  int count = 0;
  for (const char* part : {"new", "cur"})
    count += int(QDir(maildir + folder + QLatin1String(part)).entryList(QDir::Files).size());
  return count;
}

// A maildir folder ("Maildir++": .NAME) owned like the mailbox itself.
void makeMaildirFolder(const QString& maildir, const QString& name) {
  struct stat owner {};
  ASSERT_EQ(::stat(QFile::encodeName(maildir).constData(), &owner), 0);
  for (const char* part : {"", "/cur", "/new", "/tmp"}) {
    const QString path = maildir + QStringLiteral("/.") + name + QLatin1String(part);
    ASSERT_TRUE(QDir().mkpath(path));
    ASSERT_EQ(::chown(QFile::encodeName(path).constData(), owner.st_uid, owner.st_gid), 0);
  }
}

TEST(BounceProgramTest, AMailToAnAddressThatDoesNotExistEndsAsABounceWithinOneRead) {
  ASSERT_EQ(geteuid(), 0u) << "Postfix and Dovecot run as root";
  QTemporaryDir certs;
  test::OAuthPeer oauth({certs.path()});
  test::PostfixOptions options;
  options.user = QStringLiteral("dte");
  options.password = QStringLiteral("pw-8812");
  options.senderMailbox = QStringLiteral("dte@laceiba.example");
  test::PostfixPeer postfix(options, certs.path());
  const QString maildir = postfix.senderMaildir();
  test::DovecotPeer dovecot(
      {maildir, certs.path(), QStringLiteral("dte"), QStringLiteral("imap-pw"), oauth.requestLog()});
  const TempAppDir dir({QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr")});
  buildDemoDatabase(
      dir.filePath(QStringLiteral("v.db")), DemoContent::Documents,
      buyersSql(QStringLiteral("127.0.0.1"), postfix.port()) +
          QStringLiteral("UPDATE Parametros SET Valor = 'dte' WHERE Parametro = 'sysSMTPUser';\n"
                         "UPDATE Parametros SET Valor = 'pw-8812' WHERE Parametro = 'sysSMTPPassword';\n"));
  const QByteArray db = "[DB]\r\ncString=sqlite:v.db\r\n";
  dir.writeFile(QStringLiteral("main.ini"), db);
  runOnce(dir, postfix.caBundle());
  ASSERT_EQ(ledgerLines(dir, QStringLiteral("mail")).size(), 4);
  ASSERT_TRUE(test::pollUntil([&] { return filesIn(maildir, QStringLiteral("/")) == 1; }, kWaitMs))
      << "Postfix wrote no bounce";
  // The envelope id went out with the mail and came back with its bounce.
  const QString bounceFile = QDir(maildir + QStringLiteral("/new")).entryList(QDir::Files).value(0);
  QFile bounceMessage(maildir + QStringLiteral("/new/") + bounceFile);
  ASSERT_TRUE(bounceMessage.open(QIODevice::ReadOnly));
  EXPECT_TRUE(bounceMessage.readAll().contains("Original-Envelope-Id: CF-318/"));

  // One read over IMAPS with the mailbox's own password.
  dir.writeFile(
      QStringLiteral("main.ini"),
      db + QStringLiteral("[Bounces]\r\nMailbox=imaps://localhost:%1/INBOX\r\nUser=dte\r\nPassword=imap-pw\r\n"
                          "Notify=jefe@example.com\r\n")
               .arg(dovecot.imapsPort())
               .toLatin1());
  runOnce(dir, postfix.caBundle());
  const QStringList bounced = logged(dir, QStringLiteral("Corvex=> Bounced: "));
  ASSERT_EQ(bounced.size(), 1) << dir.logLines().join(u'\n').toStdString();
  EXPECT_TRUE(bounced.first().startsWith(QStringLiteral("Corvex=> Bounced: CF-318--") + kBadAddress + ": 5.1.1"));
  EXPECT_TRUE(bounced.first().contains(QStringLiteral("Hint: the recipient's address does not exist")));
  EXPECT_EQ(logged(dir, QStringLiteral("Corvex=> Digest of 1 bounces mailed to jefe@example.com")).size(), 1);
  const ProgramRun history =
      corvex(dir, {QStringLiteral("history"), QStringLiteral("CF"), QStringLiteral("318")}, postfix.caBundle());
  EXPECT_TRUE(QString::fromUtf8(history.out).contains(QStringLiteral("bounced: ") + kBadAddress))
      << history.out.toStdString();
  const ProgramRun status = corvex(dir, {QStringLiteral("status")}, postfix.caBundle());
  EXPECT_EQ(status.exitCode, 1);
  EXPECT_TRUE(QString::fromUtf8(status.out).contains(QStringLiteral("CF-318--") + kBadAddress + " bounced (5.1.1)"))
      << status.out.toStdString();

  // Read again from the start, over STARTTLS with a token, moving what was
  // handled: the same bounce is recorded once, and flags are left alone.
  makeMaildirFolder(maildir, QStringLiteral("Done"));
  QFile::remove(dir.filePath(QStringLiteral("bounces-state.json")));
  dir.writeFile(QStringLiteral("main.ini"),
                db + QStringLiteral("[SMTP]\r\nAuth=xoauth2\r\n[OAuth]\r\nProvider=refresh-token\r\nClientId=app\r\n"
                                    "RefreshToken=rt-1\r\nTokenUrl=%1/token\r\n[Bounces]\r\n"
                                    "Mailbox=imap://localhost:%2/INBOX\r\nDoneFolder=Done\r\n")
                         .arg(oauth.base())
                         .arg(dovecot.imapPort())
                         .toLatin1());
  runOnce(dir, postfix.caBundle());
  EXPECT_EQ(ledgerLines(dir, QStringLiteral("bounce")).size(), 1);
  EXPECT_EQ(logged(dir, QStringLiteral("is recorded already")).size(), 1) << dir.logLines().join(u'\n').toStdString();
  EXPECT_EQ(dovecot.logins(), (QStringList{QStringLiteral("password"), QStringLiteral("token")}));
  EXPECT_EQ(filesIn(maildir, QStringLiteral("/")), 0);
  EXPECT_EQ(filesIn(maildir, QStringLiteral("/.Done/")), 1);
}

// A mailbox that cannot be reached costs one log line, and the run mails
// every document all the same.
TEST(BounceProgramTest, AMailboxThatCannotBeReachedIsOneLineAndStopsNothing) {
  const TempAppDir dir(
      {QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr"), QStringLiteral("outbox")});
  buildDemoDatabase(dir.filePath(QStringLiteral("v.db")), DemoContent::Documents);
  // Port 1 on loopback: nothing listens there.
  dir.writeFile(
      QStringLiteral("main.ini"),
      "[DB]\r\ncString=sqlite:v.db\r\n[Bounces]\r\nMailbox=imaps://localhost:1/INBOX\r\nUser=u\r\nPassword=p\r\n");
  runOnce(dir, QString());
  EXPECT_EQ(ledgerLines(dir, QStringLiteral("mail")).size(), 4);
  EXPECT_EQ(logged(dir, QStringLiteral("Corvex=> Bounces cannot be read from imaps://localhost:1/INBOX: ")).size(), 1)
      << dir.logLines().join(u'\n').toStdString();
  const ProgramRun status = corvex(dir, {QStringLiteral("status")}, QString());
  EXPECT_TRUE(status.out.contains("; unreadable since ")) << status.out.toStdString();
}

// What lands in a mailbox besides the bounces of our mails.
QByteArray report(const QString& messageId, const char* recipientBlock) {
  return QStringLiteral(
             "From: Microsoft Outlook <postmaster@acme.onmicrosoft.com>\r\nSubject: Undeliverable\r\n"
             "Message-ID: <ndr-%1>\r\nContent-Type: multipart/report; report-type=delivery-status; boundary=b\r\n\r\n"
             "--b\r\nContent-Type: text/plain\r\n\r\nYour message couldn't be delivered.\r\n"
             "--b\r\nContent-Type: message/delivery-status\r\n\r\nReporting-MTA: dns;outlook.com\r\n\r\n%2\r\n"
             "--b\r\nContent-Type: text/rfc822-headers\r\n\r\nMessage-ID: <%1>\r\nSubject: =?utf-8?q?Env=C3=ADo?=\r\n"
             "--b--\r\n")
      .arg(messageId, QString::fromLatin1(recipientBlock))
      .toUtf8();
}

const char kFailed[] =
    "Final-Recipient: rfc822;compras@lospinos.example\r\nAction: failed\r\nStatus: 5.7.509\r\n"
    "Diagnostic-Code: smtp;550 5.7.509 Access denied, sending domain does not pass DMARC verification";

TEST(BounceProgramTest, GraphMailboxReadsOurBouncesAndSkipsWhatIsNotOne) {
  QTemporaryDir certs;
  test::OAuthPeerOptions options{certs.path()};
  options.mailbox = true;
  test::OAuthPeer graph(options);
  const TempAppDir dir({QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr")});
  buildDemoDatabase(
      dir.filePath(QStringLiteral("v.db")), DemoContent::Documents,
      buyersSql(QStringLiteral("graph:") + graph.base(), 0) +
          QStringLiteral("UPDATE FACTURAS_ENC SET EMAIL = 'compras@lospinos.example' WHERE NUMERO = 318;\n"));
  const QByteArray ini = QStringLiteral(
                             "[DB]\r\ncString=sqlite:v.db\r\n[OAuth]\r\nProvider=microsoft\r\nTenantId=t\r\n"
                             "ClientId=app\r\nClientSecret=s\r\nTokenUrl=%1/t/oauth2/v2.0/token\r\n")
                             .arg(graph.base())
                             .toLatin1();
  dir.writeFile(QStringLiteral("main.ini"), ini);
  runOnce(dir, certs.filePath(QStringLiteral("ca.pem")));
  const QList<QJsonObject> mails = ledgerLines(dir, QStringLiteral("mail"));
  ASSERT_EQ(mails.size(), 4);
  QString ours;
  for (const QJsonObject& mail : mails) {
    EXPECT_TRUE(mail[QStringLiteral("reply")].toString().startsWith(QStringLiteral("202 Accepted, request-id req-")));
    if (mail[QStringLiteral("numero")].toInt() == 318) ours = mail[QStringLiteral("messageId")].toString();
  }
  // Exchange keeps our Message-ID: the report names it among the returned headers.
  const QDir inbox(graph.mailboxFolder());
  inbox.mkdir(QStringLiteral("Done"));
  const auto put = [&inbox](const char* name, const QByteArray& bytes) {
    QFile file(inbox.filePath(QString::fromLatin1(name)));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  };
  put("1-ours.eml", report(ours, kFailed));
  put("2-again.eml", report(ours, kFailed).replace("ndr-", "ndr-copy-"));
  put("3-not-ours.eml", report(QStringLiteral("someone-else@acme.com.sv"), kFailed));
  put("4-malformed.eml", report(ours, "Arrival-Date: today"));
  put("5-delayed.eml",
      report(ours, "Final-Recipient: rfc822;compras@lospinos.example\r\nAction: delayed\r\nStatus: 4.4.7"));
  put("6-letter.eml", "From: ana@example.com\r\nSubject: hola\r\n\r\n" + QByteArray(3 << 20, 'x'));
  dir.writeFile(QStringLiteral("main.ini"),
                ini + "[Bounces]\r\nMailbox=graph:" + graph.base().toLatin1() + "\r\nDoneFolder=Done\r\n");
  ProgramRun read;
  {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CURL_CA_BUNDLE"), certs.filePath(QStringLiteral("ca.pem")));
    process.setProcessEnvironment(environment);
    test::capAddressSpace(process);
    process.start(QStringLiteral(CORVEX_BINARY), {QStringLiteral("--once"), QStringLiteral("--app-dir"), dir.path()});
    ASSERT_TRUE(process.waitForFinished(120000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  }
  const QStringList bounced = logged(dir, QStringLiteral("Corvex=> Bounced: "));
  ASSERT_EQ(bounced.size(), 1) << dir.logLines().join(u'\n').toStdString();
  EXPECT_TRUE(bounced.first().contains(QStringLiteral("CF-318--compras@lospinos.example: 5.7.509")));
  EXPECT_TRUE(bounced.first().contains(QStringLiteral("SPF, DKIM or DMARC")));
  EXPECT_EQ(ledgerLines(dir, QStringLiteral("bounce")).size(), 1);
  EXPECT_EQ(logged(dir, QStringLiteral("<ndr-copy-")).filter(QStringLiteral("is recorded already")).size(), 1);
  EXPECT_EQ(logged(dir, QStringLiteral("skipped: it names no mail of the ledger")).size(), 1);
  EXPECT_EQ(logged(dir, QStringLiteral("skipped: a delivery report without recipient fields")).size(), 1);
  EXPECT_EQ(logged(dir, QStringLiteral("skipped")).size(), 3) << dir.logLines().join(u'\n').toStdString();
  EXPECT_EQ(QDir(inbox.filePath(QStringLiteral("Done"))).entryList(QDir::Files).size(), 2);
  EXPECT_EQ(inbox.entryList({QStringLiteral("*.eml")}, QDir::Files).size(), 4);
}

}  // namespace
}  // namespace corvex
