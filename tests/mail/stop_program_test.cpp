// A stop request (SIGTERM) that comes while the real program waits before a
// message's data: for a server that never greets, for an answer to AUTH, for
// a token endpoint, out a Graph Retry-After, and in the login wait. Each
// wait ends at once: the process is gone long before the wait's own
// time-out would end it, and nothing is mailed, marked or counted as a
// refused login.
#include "demo/demo_database.h"
#include "mail/login_wait.h"
#include "support/delivery_check.h"
#include "support/oauth_peer.h"
#include "support/poll.h"
#include "support/program.h"
#include "support/smtp_peer.h"
#include "support/temp_app_dir.h"

#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace corvex {
namespace {

using test::OAuthPeer;
using test::SmtpPeer;
using test::SmtpPeerOptions;
using test::TempAppDir;

const QString kUser = QStringLiteral("dte@empresa.example");
const QString kPassword = QStringLiteral("pw-8812");
constexpr int kDocuments = 3;
// Far below every wait the stop must end (60 s and more), far above what a
// busy machine needs to end a process that was asked to.
constexpr int kEndsWithinMs = 10000;

struct StopCase {
  const char* name;
  SmtpPeerOptions smtp = {};
  test::OAuthPeerOptions oauth = {};
  bool graph = false;
  QString ini = {};  ///< more of main.ini
  QString password = kPassword;
  /// The program's life between runs (a run comes every 5 s), not one run.
  bool polling = false;
  /// The program is in the wait once this holds.
  std::function<bool(const SmtpPeer&, const OAuthPeer&, const TempAppDir&)> waiting;
};

void PrintTo(const StopCase& c, std::ostream* out) { *out << c.name; }

class StopProgramTest : public ::testing::TestWithParam<StopCase> {
 protected:
  StopProgramTest() : smtp(smtpOptions()), oauth(oauthOptions()) {
    const StopCase& c = GetParam();
    const QString server = c.graph ? QStringLiteral("graph:") + oauth.base() : QStringLiteral("127.0.0.1");
    buildDemoDatabase(dir.filePath(QStringLiteral("v.db")), DemoContent::Documents,
                      documentCopiesSql(kDocuments) +
                          QStringLiteral("DELETE FROM FACTURAS_ENC WHERE SERIE <> 'BM';\n") +
                          QStringLiteral("UPDATE Parametros SET Valor = CASE Parametro WHEN 'sysSMTPServer' THEN "
                                         "'%1' WHEN 'sysSMTPPort' THEN '%2' WHEN 'sysSMTPUser' THEN '%3' "
                                         "WHEN 'sysSMTPPassword' THEN '%4' WHEN 'sysSMTPFrom' THEN '%3' "
                                         "ELSE Valor END;\n")
                              .arg(server)
                              .arg(smtp.port())
                              .arg(kUser, c.password));
    const QString ini = c.ini.contains(QStringLiteral("%1")) ? c.ini.arg(oauth.base()) : c.ini;
    dir.writeFile(QStringLiteral("main.ini"), (QStringLiteral("[DB]\r\ncString=sqlite:v.db\r\n") + ini).toUtf8());
  }

  SmtpPeerOptions smtpOptions() const {
    SmtpPeerOptions options = GetParam().smtp;
    options.tls = test::PeerTls::StartTls;
    options.certDir = m_certs.path();
    return options;
  }
  test::OAuthPeerOptions oauthOptions() {
    // The SMTP peer made the test CA in m_certs already.
    test::OAuthPeerOptions options = GetParam().oauth;
    options.certDir = m_certs.path();
    return options;
  }

  QTemporaryDir m_certs;
  SmtpPeer smtp;
  OAuthPeer oauth;
  TempAppDir dir{{QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr")}};
};

TEST_P(StopProgramTest, AStopEndsTheWaitAtOnceAndLeavesEveryDocumentPending) {
  const StopCase& c = GetParam();
  QProcess program;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("CURL_CA_BUNDLE"), m_certs.filePath(QStringLiteral("ca.pem")));
  const QString mode = c.polling ? QStringLiteral("--headless") : QStringLiteral("--once");
  test::startProgram(program, test::thisBuild(), {mode, QStringLiteral("--app-dir"), dir.path()}, environment);
  ASSERT_TRUE(program.waitForStarted());
  ASSERT_TRUE(test::pollUntil([&] { return c.waiting(smtp, oauth, dir); }, 60000))
      << "never reached the wait; log:\n"
      << dir.logLines().join(u'\n').toStdString();

  QElapsedTimer stopping;
  stopping.start();
  program.terminate();
  ASSERT_TRUE(program.waitForFinished(kEndsWithinMs)) << "still waiting after SIGTERM";
  std::printf("[ stopped  ] %s: %lld ms after SIGTERM\n", c.name, static_cast<long long>(stopping.elapsed()));
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();

  QStringList pending;
  const QStringList messages = c.graph ? oauth.messageFiles() : smtp.messageFiles();
  const QStringList broken = test::brokenPromises(dir, QStringLiteral("v.db"), messages, &pending);
  EXPECT_TRUE(broken.isEmpty()) << broken.join(u'\n').toStdString();
  EXPECT_EQ(pending.size(), kDocuments);
  EXPECT_EQ(dir.logLines().filter(QStringLiteral("Sending stopped")).size(), c.password == kPassword ? 0 : 1)
      << "a stop is no refused login: " << dir.logLines().join(u'\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Waits, StopProgramTest,
    ::testing::Values(
        StopCase{.name = "ServerNeverGreets",
                 .smtp = {.stall = QStringLiteral("greeting")},
                 .waiting = [](const SmtpPeer& smtp, const OAuthPeer&,
                               const TempAppDir&) { return smtp.stats().connections > 0; }},
        StopCase{.name = "ServerNeverAnswersAuth",
                 .smtp = {.user = kUser, .password = kPassword, .stall = QStringLiteral("auth")},
                 .waiting = [](const SmtpPeer& smtp, const OAuthPeer&,
                               const TempAppDir&) { return smtp.stats().auths > 0; }},
        StopCase{.name = "TokenEndpointNeverAnswers",
                 .smtp = {.xoauth2User = kUser, .xoauth2Tokens = {QStringLiteral("tok-1")}},
                 .oauth = {.stallToken = true},
                 .ini = QStringLiteral("[SMTP]\r\nAuth=xoauth2\r\n[OAuth]\r\nProvider=microsoft\r\nTenantId=t\r\n"
                                       "ClientId=app\r\nClientSecret=s\r\nTokenUrl=%1/t/oauth2/v2.0/token\r\n"),
                 .waiting = [](const SmtpPeer&, const OAuthPeer& oauth,
                               const TempAppDir&) { return !oauth.requests(QStringLiteral("token")).isEmpty(); }},
        StopCase{.name = "GraphAsksToWait",
                 .oauth = {.faults = {QStringLiteral("1-99:429")}, .retryAfter = 50},
                 .graph = true,
                 .ini = QStringLiteral("[OAuth]\r\nProvider=microsoft\r\nTenantId=t\r\nClientId=app\r\n"
                                       "ClientSecret=s\r\nTokenUrl=%1/t/oauth2/v2.0/token\r\n"),
                 .waiting = [](const SmtpPeer&, const OAuthPeer& oauth,
                               const TempAppDir&) { return !oauth.requests(QStringLiteral("graph")).isEmpty(); }},
        StopCase{.name = "LoginWait",
                 .smtp = {.user = kUser, .password = kPassword},
                 .password = QStringLiteral("wrong"),
                 .polling = true,
                 .waiting =
                     [](const SmtpPeer&, const OAuthPeer&, const TempAppDir& dir) {
                       return dir.exists(QString::fromLatin1(LoginWait::kFileName)) &&
                              !dir.logLines().filter(QStringLiteral("Sending stopped")).isEmpty();
                     }}),
    [](const ::testing::TestParamInfo<StopCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvex
