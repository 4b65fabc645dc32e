// The real program mailing over a real SMTP server (STARTTLS and AUTH) that
// misbehaves on demand: every document is mailed once and marked, or still
// pending, whatever the server does.
#include "demo/demo_database.h"
#include "support/delivery_check.h"
#include "support/program.h"
#include "support/smtp_peer.h"
#include "support/temp_app_dir.h"

#include <QDir>
#include <QJsonArray>
#include <QMap>

#include <gtest/gtest.h>

namespace corvex {
namespace {

using test::SmtpPeer;
using test::SmtpPeerOptions;
using test::TempAppDir;

const QString kUser = QStringLiteral("dte");
const QString kPassword = QStringLiteral("pw-8812");
const QString kRejected = QStringLiteral("rejected@example.com");

struct ProgramCase {
  const char* name;
  int documents;
  test::SmtpPeerFaults faults = {};
  int rejectedDocument = 0;   ///< this document's buyer is refused with 550
  int markedAfterFirstRun;    ///< -1: some, not all
  int connectionsInFirstRun;  ///< -1: not counted (sessions start as work comes)
  bool stopLogged = false;
  int sessions = 1;                   ///< main.ini [SMTP] Connections
  QString firstPassword = kPassword;  ///< the program's in the first run; the second has the right one
  QString authReply = {};             ///< the server's refusal of a wrong login (default 535)
  int maxConnections = 0;             ///< the server's connections at once; 0: any
  int authsInFirstRun = -1;           ///< AUTH exchanges; -1: not counted
  const char* loggedOnce = nullptr;   ///< a text exactly one log line holds after the first run
};

void PrintTo(const ProgramCase& c, std::ostream* out) { *out << c.name; }

class MailProgramTest : public ::testing::TestWithParam<ProgramCase> {
 protected:
  MailProgramTest()
      : peer(SmtpPeerOptions{.tls = test::PeerTls::StartTls,
                             .user = kUser,
                             .password = kPassword,
                             .rejectRecipient = kRejected,
                             .port = 0,
                             .certDir = QString(),
                             .pipelining = true,
                             .authReply = GetParam().authReply,
                             .maxConnections = GetParam().maxConnections},
             GetParam().faults) {
    QString sql = documentCopiesSql(GetParam().documents);
    sql += QStringLiteral(
               "UPDATE Parametros SET Valor = '127.0.0.1' WHERE Parametro = 'sysSMTPServer';\n"
               "UPDATE Parametros SET Valor = '%1' WHERE Parametro = 'sysSMTPPort';\n"
               "UPDATE Parametros SET Valor = '%2' WHERE Parametro = 'sysSMTPUser';\n")
               .arg(peer.port())
               .arg(kUser);
    if (GetParam().rejectedDocument > 0)
      sql += QStringLiteral("UPDATE FACTURAS_ENC SET EMAIL = '%1' WHERE SERIE = 'BM' AND NUMERO = %2;\n")
                 .arg(kRejected)
                 .arg(GetParam().rejectedDocument);
    buildDemoDatabase(dir.filePath(QStringLiteral("v.db")), DemoContent::Documents, sql);
    dir.writeFile(QStringLiteral("main.ini"),
                  QStringLiteral("[DB]\r\ncString=sqlite:v.db\r\n[SMTP]\r\nConnections=%1\r\n")
                      .arg(GetParam().sessions)
                      .toLatin1());
  }

  void runOnce(const QString& password) {
    dir.querySqlite(
        QStringLiteral("v.db"),
        QStringLiteral("UPDATE Parametros SET Valor = '%1' WHERE Parametro = 'sysSMTPPassword'").arg(password));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CURL_CA_BUNDLE"), peer.caBundle());
    const test::ProgramRun run =
        test::runProgram({QStringLiteral("--once"), QStringLiteral("--app-dir"), dir.path()}, 120000, environment);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  }

  QStringList marked() const { return test::markedCopies(dir, QStringLiteral("v.db")); }

  // How many messages each address received.
  QMap<QString, int> received() const {
    QMap<QString, int> counts;
    for (const QString& file : peer.messageFiles())
      for (const QJsonValue& rcpt : SmtpPeer::envelope(file)["rcpt_tos"].toArray()) ++counts[rcpt.toString()];
    return counts;
  }

  // The promise: marked exactly when mailed, and never mailed twice.
  void expectMailedOnceAndMarked() {
    test::expectCopiesMailedOnceAndMarked(dir, QStringLiteral("v.db"), received());
    EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("files"))).isEmpty()) << "no scratch file left";
  }

  SmtpPeer peer;
  TempAppDir dir{{QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr")}};
};

TEST_P(MailProgramTest, EveryDocumentIsMailedOnceAndMarkedOrStillPending) {
  const ProgramCase& c = GetParam();
  runOnce(c.firstPassword);
  const qsizetype markedFirst = marked().size();
  if (c.markedAfterFirstRun >= 0) {
    EXPECT_EQ(markedFirst, c.markedAfterFirstRun) << dir.logLines().join(u'\n').toStdString();
  } else {
    EXPECT_TRUE(markedFirst > 0 && markedFirst < c.documents) << dir.logLines().join(u'\n').toStdString();
  }
  if (c.connectionsInFirstRun >= 0) {
    EXPECT_EQ(peer.stats().connections, c.connectionsInFirstRun);
  }
  EXPECT_EQ(dir.logLines().join(u'\n').contains(QStringLiteral("Corvex=> Sending stopped")), c.stopLogged);
  if (c.authsInFirstRun >= 0) {
    EXPECT_EQ(peer.stats().auths, c.authsInFirstRun);
  }
  if (c.loggedOnce) {
    EXPECT_EQ(dir.logLines().filter(QString::fromUtf8(c.loggedOnce)).size(), 1)
        << dir.logLines().join(u'\n').toStdString();
  }
  expectMailedOnceAndMarked();

  runOnce(kPassword);
  expectMailedOnceAndMarked();
  EXPECT_EQ(marked().size(), c.documents - (c.rejectedDocument > 0 ? 1 : 0)) << "the second run mails the rest";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MailProgramTest,
    ::testing::Values(ProgramCase{.name = "ServerClosesAfterEveryTenMessages",
                                  .documents = 25,
                                  .faults = {.closeAfter = 10},
                                  .markedAfterFirstRun = 25,
                                  .connectionsInFirstRun = 3},
                      ProgramCase{.name = "Reply421InTheMiddleOfARun",
                                  .documents = 12,
                                  .faults = {.failures = {QStringLiteral("5:421")}},
                                  .markedAfterFirstRun = 4,
                                  .connectionsInFirstRun = 1,
                                  .stopLogged = true},
                      ProgramCase{.name = "OneRecipientRefused",
                                  .documents = 5,
                                  .rejectedDocument = 3,
                                  .markedAfterFirstRun = 4,
                                  .connectionsInFirstRun = 1,
                                  .loggedOnce = "Email send failed: BM-3--rejected@example.com: "
                                                "RCPT TO:<rejected@example.com> failed: 550"},
                      // One AUTH for the run, however many sessions, then QUIT.
                      ProgramCase{.name = "WrongPasswordFourSessions",
                                  .documents = 12,
                                  .markedAfterFirstRun = 0,
                                  .connectionsInFirstRun = 1,
                                  .stopLogged = true,
                                  .sessions = 4,
                                  .firstPassword = QStringLiteral("wrong"),
                                  .authsInFirstRun = 1,
                                  .loggedOnce = "(refused login 1 in a row; each refusal doubles the wait, up to an "
                                                "hour; a successful check or test-mail, or new login settings, end "
                                                "it): login as dte refused: 535 5.7.8"},
                      ProgramCase{.name = "BasicAuthenticationSwitchedOff",
                                  .documents = 12,
                                  .markedAfterFirstRun = 0,
                                  .connectionsInFirstRun = 1,
                                  .stopLogged = true,
                                  .firstPassword = QStringLiteral("wrong"),
                                  .authReply = QStringLiteral("550 5.7.30 Basic authentication is not supported for "
                                                              "Client Submission"),
                                  .authsInFirstRun = 1,
                                  .loggedOnce = "refused: 550 5.7.30 Basic authentication is "
                                                "not supported for Client Submission"},
                      // The sessions the server admits carry the run.
                      ProgramCase{.name = "FourSessionsTwoConnectionsAllowed",
                                  .documents = 30,
                                  .markedAfterFirstRun = 30,
                                  .connectionsInFirstRun = -1,
                                  .sessions = 4,
                                  .maxConnections = 2},
                      ProgramCase{.name = "ConnectionDroppedInTheMiddleOfData",
                                  .documents = 5,
                                  .faults = {.dropData = {3}},
                                  .markedAfterFirstRun = 4,
                                  .connectionsInFirstRun = 2},
                      // Four sessions at once: the same promise.
                      ProgramCase{.name = "FourSessions",
                                  .documents = 30,
                                  .markedAfterFirstRun = 30,
                                  .connectionsInFirstRun = -1,
                                  .sessions = 4},
                      ProgramCase{.name = "FourSessionsReply421InTheMiddleOfARun",
                                  .documents = 40,
                                  .faults = {.failures = {QStringLiteral("20:421")}},
                                  .markedAfterFirstRun = -1,
                                  .connectionsInFirstRun = -1,
                                  .stopLogged = true,
                                  .sessions = 4},
                      ProgramCase{.name = "FourSessionsServerClosesAfterEveryTenMessages",
                                  .documents = 60,
                                  .faults = {.closeAfter = 10},
                                  .markedAfterFirstRun = 60,
                                  .connectionsInFirstRun = -1,
                                  .sessions = 4},
                      ProgramCase{.name = "FourSessionsConnectionDroppedInTheMiddleOfData",
                                  .documents = 20,
                                  .faults = {.dropData = {7}},
                                  .markedAfterFirstRun = 19,
                                  .connectionsInFirstRun = -1,
                                  .sessions = 4}),
    [](const ::testing::TestParamInfo<ProgramCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvex
