// The real program, started again and again as a service manager or the
// poll loop would, against a real SMTP server that refuses its login: one
// refused AUTH, then none while the wait holds, across restarts; the
// operator's check or test-mail always tries, says that the program waits,
// and ends the wait when its login works; mended Parametros end it at the
// next start. The next good login mails everything pending, once.
#include "demo/demo_database.h"
#include "mail/login_wait.h"
#include "support/delivery_check.h"
#include "support/program.h"
#include "support/smtp_peer.h"
#include "support/temp_app_dir.h"

#include <QFile>
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
const QString kTester = QStringLiteral("operator@example.net");
constexpr int kDocuments = 6;

struct WaitCase {
  const char* name;
  QString password;     ///< Parametros' sysSMTPPassword until mended
  int refuseLogins;     ///< the server refuses its first logins whatever they carry
  QStringList command;  ///< the operator's, run while the program waits
  QString says;         ///< the command's output holds this
  bool mendParametros;  ///< the right password goes into Parametros before the last start
};

void PrintTo(const WaitCase& c, std::ostream* out) { *out << c.name; }

class LoginWaitProgramTest : public ::testing::TestWithParam<WaitCase> {
 protected:
  LoginWaitProgramTest()
      : peer(SmtpPeerOptions{.tls = test::PeerTls::StartTls,
                             .user = kUser,
                             .password = kPassword,
                             .refuseLogins = GetParam().refuseLogins}) {
    buildDemoDatabase(dir.filePath(QStringLiteral("v.db")), DemoContent::Documents,
                      documentCopiesSql(kDocuments) +
                          QStringLiteral("UPDATE Parametros SET Valor = CASE Parametro WHEN 'sysSMTPServer' THEN "
                                         "'127.0.0.1' WHEN 'sysSMTPPort' THEN '%1' WHEN 'sysSMTPUser' THEN '%2' "
                                         "WHEN 'sysSMTPPassword' THEN '%3' ELSE Valor END;\n")
                              .arg(peer.port())
                              .arg(kUser, GetParam().password));
    dir.writeFile(QStringLiteral("main.ini"), "[DB]\r\ncString=sqlite:v.db\r\n[SMTP]\r\nConnections=2\r\n");
  }

  test::ProgramRun run(const QStringList& arguments) const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CURL_CA_BUNDLE"), peer.caBundle());
    return test::runProgram(arguments + QStringList{QStringLiteral("--app-dir"), dir.path()}, 120000, environment);
  }

  // The documents' buyers and how many messages each received.
  QMap<QString, int> received() const {
    QMap<QString, int> counts;
    for (const QString& file : peer.messageFiles())
      for (const QJsonValue& rcpt : SmtpPeer::envelope(file)["rcpt_tos"].toArray())
        if (rcpt.toString() != kTester) ++counts[rcpt.toString()];
    return counts;
  }

  SmtpPeer peer;
  TempAppDir dir{{QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr")}};
};

TEST_P(LoginWaitProgramTest, OneRefusedLoginThenNoneUntilTheWaitEnds) {
  const WaitCase& c = GetParam();
  const QStringList once{QStringLiteral("--once")};
  const test::ProgramRun first = run(once);
  EXPECT_EQ(peer.stats().auths, 1) << first.err.toStdString() << dir.logLines().join(u'\n').toStdString();
  run(once);
  EXPECT_EQ(peer.stats().auths, 1) << "a restart keeps the wait";
  EXPECT_TRUE(received().isEmpty());
  EXPECT_GE(dir.logLines().filter(QStringLiteral("Corvex=> Sending stopped for 5 min, next login at ")).size(), 1);

  const test::ProgramRun command = run(c.command);
  EXPECT_EQ(peer.stats().auths, 2) << "the operator's command always tries";
  EXPECT_TRUE(QString::fromUtf8(command.out + command.err).contains(c.says))
      << (command.out + command.err).toStdString();
  if (c.mendParametros)
    dir.querySqlite(
        QStringLiteral("v.db"),
        QStringLiteral("UPDATE Parametros SET Valor = '%1' WHERE Parametro = 'sysSMTPPassword'").arg(kPassword));
  const test::ProgramRun last = run(once);
  EXPECT_EQ(last.exitCode, 0) << last.err.toStdString();
  test::expectCopiesMailedOnceAndMarked(dir, QStringLiteral("v.db"), received());
  EXPECT_EQ(test::markedCopies(dir, QStringLiteral("v.db")).size(), kDocuments)
      << dir.logLines().join(u'\n').toStdString();
  EXPECT_FALSE(dir.exists(QString::fromLatin1(LoginWait::kFileName)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoginWaitProgramTest,
    ::testing::Values(
        // The check tries with the same wrong password, and the wait holds;
        // the mended password is seen at the next start.
        WaitCase{.name = "WrongPasswordWaitsUntilParametrosAreMended",
                 .password = QStringLiteral("wrong"),
                 .refuseLogins = 0,
                 .command = {QStringLiteral("check")},
                 .says = QStringLiteral("FAIL  login wait: the running program logs in no more until "),
                 .mendParametros = true},
        // A mailbox switched off and on again: the operator's login works.
        WaitCase{.name = "TestMailThatLogsInEndsTheWait",
                 .password = kPassword,
                 .refuseLogins = 1,
                 .command = {QStringLiteral("test-mail"), kTester},
                 .says = QStringLiteral("; this login worked, so the wait is over"),
                 .mendParametros = false},
        WaitCase{.name = "CheckThatLogsInEndsTheWait",
                 .password = kPassword,
                 .refuseLogins = 1,
                 .command = {QStringLiteral("check")},
                 .says = QStringLiteral("ok    login wait: the running program logs in no more until "),
                 .mendParametros = false}),
    [](const ::testing::TestParamInfo<WaitCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvex
