// The real program mailing through a real Postfix on loopback (STARTTLS,
// PIPELINING, Cyrus SASL, its connection limit and recipient checks): what
// a server that holds to its rules does to a run, and that every document is
// mailed once and marked, or still pending, whatever it does.
#include "demo/demo_database.h"
#include "support/delivery_check.h"
#include "support/postfix_peer.h"
#include "support/program.h"
#include "support/temp_app_dir.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>

namespace corvex {
namespace {

using test::PostfixOptions;
using test::PostfixPeer;
using test::PostfixStats;
using test::TempAppDir;

const QString kUser = QStringLiteral("dte");
const QString kPassword = QStringLiteral("pw-8812");
constexpr int kIdleTimeoutMs = 30000;

struct PostfixCase {
  const char* name;
  PostfixOptions server = {};
  int documents = 12;
  int sessions = 1;                   ///< main.ini [SMTP] Connections
  QString firstPassword = kPassword;  ///< the program's in the first run; the second has the right one
  QStringList refusedBuyers = {};     ///< their address is refused; the second run mails to a new one
  int markedAfterFirstRun = -1;       ///< -1: not checked
  std::function<void(const PostfixStats&, const QStringList& log)> expect = nullptr;
};

void PrintTo(const PostfixCase& c, std::ostream* out) { *out << c.name; }

class PostfixProgramTest : public ::testing::TestWithParam<PostfixCase> {
 protected:
  void SetUp() override {
    ASSERT_EQ(geteuid(), 0u) << "Postfix runs as root";
    PostfixOptions options = GetParam().server;
    options.user = kUser;
    options.password = kPassword;
    peer = std::make_unique<PostfixPeer>(options, certs.path());
    QString sql = documentCopiesSql(GetParam().documents);
    sql += QStringLiteral(
               "UPDATE Parametros SET Valor = '127.0.0.1' WHERE Parametro = 'sysSMTPServer';\n"
               "UPDATE Parametros SET Valor = '%1' WHERE Parametro = 'sysSMTPPort';\n"
               "UPDATE Parametros SET Valor = '%2' WHERE Parametro = 'sysSMTPUser';\n")
               .arg(peer->port())
               .arg(kUser);
    buildDemoDatabase(dir.filePath(QStringLiteral("v.db")), DemoContent::Documents, sql);
    dir.writeFile(QStringLiteral("main.ini"),
                  QStringLiteral("[DB]\r\ncString=sqlite:v.db\r\n[SMTP]\r\nConnections=%1\r\n")
                      .arg(GetParam().sessions)
                      .toLatin1());
  }

  void sql(const QString& statement) const { dir.querySqlite(QStringLiteral("v.db"), statement); }

  void runOnce(const QString& password) {
    sql(QStringLiteral("UPDATE Parametros SET Valor = '%1' WHERE Parametro = 'sysSMTPPassword'").arg(password));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CURL_CA_BUNDLE"), peer->caBundle());
    const test::ProgramRun run =
        test::runProgram({QStringLiteral("--once"), QStringLiteral("--app-dir"), dir.path()}, 120000, environment);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(peer->waitUntilIdle(kIdleTimeoutMs)) << "Postfix keeps messages queued or sessions open";
  }

  QStringList marked() const { return test::markedCopies(dir, QStringLiteral("v.db")); }

  // How many messages each buyer received, by the maildir's Delivered-To.
  QMap<QString, int> received() const {
    QMap<QString, int> counts;
    for (const QString& name : peer->messageFiles()) {
      QFile file(name);
      if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << name.toStdString();
      }
      for (QByteArray line = file.readLine(); !line.isEmpty() && line != "\n"; line = file.readLine())
        if (line.startsWith("Delivered-To: ")) ++counts[QString::fromLatin1(line.mid(14).trimmed())];
    }
    return counts;
  }

  void expectMailedOnceAndMarked() { test::expectCopiesMailedOnceAndMarked(dir, QStringLiteral("v.db"), received()); }

  QTemporaryDir certs;
  std::unique_ptr<PostfixPeer> peer;
  TempAppDir dir{{QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr")}};
};

TEST_P(PostfixProgramTest, EveryDocumentIsMailedOnceAndMarkedOrStillPending) {
  const PostfixCase& c = GetParam();
  runOnce(c.firstPassword);
  const QStringList log = dir.logLines();
  if (c.markedAfterFirstRun >= 0) {
    EXPECT_EQ(marked().size(), c.markedAfterFirstRun) << log.join(u'\n').toStdString();
  }
  if (c.expect) c.expect(peer->stats(), log);
  expectMailedOnceAndMarked();

  for (const QString& buyer : c.refusedBuyers)
    sql(QStringLiteral("UPDATE FACTURAS_ENC SET EMAIL = 'new-%1' WHERE EMAIL = '%1'").arg(buyer));
  runOnce(kPassword);
  expectMailedOnceAndMarked();
  EXPECT_EQ(marked().size(), c.documents) << dir.logLines().join(u'\n').toStdString();
}

qsizetype linesWith(const QStringList& log, const QString& text) { return log.filter(text).size(); }

const PostfixCase kCases[] = {
    // One AUTH, then QUIT and one line in Postfix's own words; nothing tried.
    {.name = "WrongPasswordStopsTheRunAfterOneLogin",
     .sessions = 4,
     .firstPassword = QStringLiteral("wrong"),
     .markedAfterFirstRun = 0,
     .expect =
         [](const PostfixStats& stats, const QStringList& log) {
           EXPECT_EQ(stats.connections, 1);
           EXPECT_EQ(stats.authFailures, 1);
           EXPECT_EQ(stats.quits, 1);
           EXPECT_EQ(linesWith(log, QStringLiteral("Sending stopped for 5 min, next login at ")), 1)
               << log.join(u'\n').toStdString();
           EXPECT_EQ(linesWith(log, QStringLiteral("login as dte refused: 535 5.7.8 Error: authentication failed")), 1)
               << log.join(u'\n').toStdString();
           EXPECT_EQ(linesWith(log, QStringLiteral("Email send failed")), 0);
         }},
    // Four sessions where two are allowed: the two that work carry the run.
    {.name = "TwoConnectionsAllowedToFourSessions",
     .server = {.connectionLimit = 2},
     .documents = 30,
     .sessions = 4,
     .markedAfterFirstRun = 30,
     .expect =
         [](const PostfixStats& stats, const QStringList& log) {
           EXPECT_GE(stats.tooManyConnections, 1) << "the limit was never reached";
           EXPECT_EQ(linesWith(log, QStringLiteral("The server refused a further SMTP session; those open carry on: "
                                                   "greeting failed: 421 4.7.0 postfix.corvex.test Error: too many "
                                                   "connections from 127.0.0.1")),
                     1)
               << log.join(u'\n').toStdString();
           EXPECT_EQ(linesWith(log, QStringLiteral("stopped")), 0) << log.join(u'\n').toStdString();
         }},
    // Refused recipients cost no connection: RSET and on to the next one.
    {.name = "RefusedRecipientsKeepTheSession",
     .server = {.recipientReplies = {QStringLiteral("buyer3@example.com=550 5.1.1 No such mailbox"),
                                     QStringLiteral("buyer7@example.com=452 4.2.2 Mailbox full")}},
     .refusedBuyers = {QStringLiteral("buyer3@example.com"), QStringLiteral("buyer7@example.com")},
     .markedAfterFirstRun = 10,
     .expect =
         [](const PostfixStats& stats, const QStringList& log) {
           EXPECT_EQ(stats.connections, 1);
           EXPECT_GE(stats.rsets, 2);
           EXPECT_EQ(linesWith(log, QStringLiteral("Email send failed: BM-3--buyer3@example.com: RCPT "
                                                   "TO:<buyer3@example.com> failed: 550 5.1.1 <buyer3@example.com>: "
                                                   "Recipient address rejected: No such mailbox")),
                     1)
               << log.join(u'\n').toStdString();
           EXPECT_EQ(linesWith(log, QStringLiteral("Email send failed: BM-7--buyer7@example.com: RCPT "
                                                   "TO:<buyer7@example.com> failed: 452 4.2.2")),
                     1);
         }},
};

INSTANTIATE_TEST_SUITE_P(Postfix, PostfixProgramTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<PostfixCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace corvex
