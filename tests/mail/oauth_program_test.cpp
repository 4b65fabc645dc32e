// The real program getting OAuth 2.0 tokens from a local HTTPS token
// endpoint and mailing with them: over SMTP with XOAUTH2 (a real aiosmtpd
// server that checks the exact login string) or through a Graph emulator.
// Every case also checks that no secret shows in any output or log.
#include "demo/demo_database.h"
#include "mail/login_wait.h"
#include "oauth/refresh_token_store.h"
#include "support/delivery_check.h"
#include "support/oauth_peer.h"
#include "support/poll.h"
#include "support/program.h"
#include "support/smtp_peer.h"
#include "support/temp_app_dir.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace corvex {
namespace {

using test::OAuthPeer;
using test::OAuthPeerOptions;
using test::SmtpPeer;
using test::SmtpPeerOptions;
using test::TempAppDir;

const QString kUser = QStringLiteral("dte@laceiba.example");
const QString kSecret = QStringLiteral("s3cr3t-Value~42");
// Longer than the 254 characters the cString reading keeps.
const QString kRefreshToken = QStringLiteral("rt-") + QString(600, u'R');
const QString kInvalidClient = QStringLiteral("AADSTS7000215: Invalid client secret provided.");

void openssl(const QStringList& arguments) {
  QProcess process;
  process.start(QStringLiteral("openssl"), arguments);
  ASSERT_TRUE(process.waitForFinished(60000) && process.exitCode() == 0)
      << process.readAllStandardError().toStdString();
}

struct Outcome {
  QStringList log;
  QByteArray output;
  int tokenRequests = 0;
  int mailed = 0;
  QStringList pending;
};

// A throw-away Application folder with `documents` pending, a test CA, a
// Google service account key, and the peers.
class OAuthProgram {
 public:
  explicit OAuthProgram(int documents) {
    makeServiceAccountKey();
    buildDemoDatabase(dir.filePath(QStringLiteral("v.db")), DemoContent::Documents,
                      documentCopiesSql(documents) + QStringLiteral("DELETE FROM FACTURAS_ENC WHERE SERIE <> 'BM';\n"));
  }

  QString certDir() const { return m_certs.path(); }
  QString publicKey() const { return m_certs.filePath(QStringLiteral("sa-public.pem")); }

  void setServer(const QString& server, int port, const QString& user) {
    dir.querySqlite(QStringLiteral("v.db"),
                    QStringLiteral("UPDATE Parametros SET Valor = CASE Parametro WHEN 'sysSMTPServer' THEN '%1' "
                                   "WHEN 'sysSMTPPort' THEN '%2' WHEN 'sysSMTPUser' THEN '%3' "
                                   "WHEN 'sysSMTPPassword' THEN '' ELSE Valor END")
                        .arg(server)
                        .arg(port)
                        .arg(user));
  }

  void writeIni(const QString& smtp, const QString& oauth) {
    dir.writeFile(QStringLiteral("main.ini"), (QStringLiteral("[DB]\r\ncString=sqlite:v.db\r\n[SMTP]\r\n") + smtp +
                                               QStringLiteral("\r\n[OAuth]\r\n") + oauth + QStringLiteral("\r\n"))
                                                  .toUtf8());
  }

  test::ProgramRun run(const QStringList& arguments) const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CURL_CA_BUNDLE"), m_certs.filePath(QStringLiteral("ca.pem")));
    return test::runProgram(arguments + QStringList{QStringLiteral("--app-dir"), dir.path()}, 120000, environment);
  }

  Outcome runOnce(const OAuthPeer& oauth, const std::function<QStringList()>& messageFiles) const {
    const test::ProgramRun once = run({QStringLiteral("--once")});
    const QStringList messages = messageFiles();
    Outcome outcome{dir.logLines(), once.out + once.err, int(oauth.requests(QStringLiteral("token")).size()), 0, {}};
    const QStringList broken = test::brokenPromises(dir, QStringLiteral("v.db"), messages, &outcome.pending);
    EXPECT_TRUE(broken.isEmpty()) << broken.join(u'\n').toStdString();
    outcome.mailed = int(messages.size());
    return outcome;
  }

  // No secret in any output, log line or file the program wrote.
  void expectNoSecret(const Outcome& outcome) const {
    const QString everything = outcome.log.join(u'\n') + QString::fromUtf8(outcome.output);
    for (const QString& secret :
         {kSecret, kRefreshToken.left(40), QStringLiteral("tok-"), QStringLiteral("PRIVATE KEY"), m_keyLine})
      EXPECT_FALSE(everything.contains(secret)) << secret.toStdString() << " in:\n" << everything.toStdString();
  }

  TempAppDir dir{{QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr")}};

 private:
  void makeServiceAccountKey() {
    const QString key = m_certs.filePath(QStringLiteral("sa.pem"));
    openssl({QStringLiteral("genpkey"), QStringLiteral("-algorithm"), QStringLiteral("RSA"), QStringLiteral("-pkeyopt"),
             QStringLiteral("rsa_keygen_bits:2048"), QStringLiteral("-out"), key});
    openssl({QStringLiteral("pkey"), QStringLiteral("-in"), key, QStringLiteral("-pubout"), QStringLiteral("-out"),
             publicKey()});
    QFile pem(key);
    ASSERT_TRUE(pem.open(QIODevice::ReadOnly));
    const QByteArray privateKey = pem.readAll();
    m_keyLine = QString::fromLatin1(privateKey.split('\n').value(1));
    const QJsonObject json{{QStringLiteral("type"), QStringLiteral("service_account")},
                           {QStringLiteral("client_email"), QStringLiteral("corvex@project.iam.example")},
                           {QStringLiteral("private_key"), QString::fromLatin1(privateKey)}};
    dir.writeFile(QStringLiteral("sa.json"), QJsonDocument(json).toJson());
  }

  QTemporaryDir m_certs;
  QString m_keyLine;
};

QString microsoftIni(const OAuthPeer& oauth) {
  return QStringLiteral(
             "Provider=microsoft\r\nTenantId=contoso\r\nClientId=app-1\r\nClientSecret=%1\r\n"
             "TokenUrl=%2/contoso/oauth2/v2.0/token")
      .arg(kSecret, oauth.base());
}

QString oauthIni(const QString& provider, const OAuthPeer& oauth) {
  if (provider == QStringLiteral("google"))
    return QStringLiteral("Provider=google\r\nKeyFile=sa.json\r\nTokenUrl=%1/token").arg(oauth.base());
  if (provider == QStringLiteral("refresh-token"))
    return QStringLiteral("Provider=refresh-token\r\nClientId=app-2\r\nRefreshToken=%1\r\nTokenUrl=%2/token")
        .arg(kRefreshToken, oauth.base());
  return microsoftIni(oauth);
}

// ---- Token grants over SMTP XOAUTH2: one token request per run ----

struct GrantCase {
  const char* provider;
  QJsonObject form;  ///< the grant's parameters that must be there, exactly
};

void PrintTo(const GrantCase& c, std::ostream* out) { *out << c.provider; }

class TokenGrantTest : public ::testing::TestWithParam<GrantCase> {};

TEST_P(TokenGrantTest, OneTokenPerRunLogsInWithTheExactXoauth2String) {
  const GrantCase& c = GetParam();
  OAuthProgram program(5);
  SmtpPeerOptions smtp{test::PeerTls::StartTls, {}, {}, {}, 0, program.certDir()};
  smtp.xoauth2User = kUser;
  smtp.xoauth2Tokens = {QStringLiteral("tok-1")};
  const SmtpPeer peer(smtp, {.closeAfter = 2});
  const OAuthPeer oauth({program.certDir(), {}, {}, program.publicKey()});
  program.setServer(QStringLiteral("127.0.0.1"), peer.port(), kUser);
  program.writeIni(QStringLiteral("Auth=xoauth2\r\nConnections=2"), oauthIni(QString::fromLatin1(c.provider), oauth));

  const Outcome outcome = program.runOnce(oauth, [&] { return peer.messageFiles(); });
  EXPECT_EQ(outcome.mailed, 5) << outcome.log.join(u'\n').toStdString();
  EXPECT_EQ(outcome.tokenRequests, 1) << "one token for the run, over several connections";
  EXPECT_GE(peer.stats().logins, 3);
  const QJsonObject request = oauth.requests(QStringLiteral("token")).value(0);
  const QJsonObject form = request[QStringLiteral("form")].toObject();
  for (auto it = c.form.begin(); it != c.form.end(); ++it)
    EXPECT_EQ(form[it.key()], it.value()) << it.key().toStdString();
  if (QString::fromLatin1(c.provider) == QStringLiteral("google")) {
    EXPECT_TRUE(request[QStringLiteral("jwt_valid")].toBool()) << "RS256 with the key file's private_key";
    const QJsonObject claims = request[QStringLiteral("claims")].toObject();
    EXPECT_EQ(claims[QStringLiteral("iss")].toString(), QStringLiteral("corvex@project.iam.example"));
    EXPECT_EQ(claims[QStringLiteral("sub")].toString(), kUser);
    EXPECT_EQ(claims[QStringLiteral("scope")].toString(), QStringLiteral("https://mail.google.com/"));
    EXPECT_EQ(claims[QStringLiteral("aud")].toString(), oauth.base() + QStringLiteral("/token"));
    // Issued a minute back, for a clock that runs a little fast; Google
    // refuses an exp more than an hour after iat.
    const qint64 issued = claims[QStringLiteral("iat")].toInteger();
    EXPECT_EQ(claims[QStringLiteral("exp")].toInteger() - issued, 3600);
    EXPECT_GE(request[QStringLiteral("time")].toDouble() - double(issued), 59.0);
  }
  program.expectNoSecret(outcome);
}

INSTANTIATE_TEST_SUITE_P(
    Providers, TokenGrantTest,
    ::testing::Values(GrantCase{"microsoft",
                                {{QStringLiteral("grant_type"), QStringLiteral("client_credentials")},
                                 {QStringLiteral("client_id"), QStringLiteral("app-1")},
                                 {QStringLiteral("client_secret"), kSecret},
                                 {QStringLiteral("scope"), QStringLiteral("https://outlook.office365.com/.default")}}},
                      GrantCase{"google",
                                {{QStringLiteral("grant_type"),
                                  QStringLiteral("urn:ietf:params:oauth:grant-type:jwt-bearer")}}},
                      // The refresh token is far longer than a cString may be: it must arrive whole.
                      GrantCase{"refresh-token",
                                {{QStringLiteral("grant_type"), QStringLiteral("refresh_token")},
                                 {QStringLiteral("refresh_token"), kRefreshToken},
                                 {QStringLiteral("client_id"), QStringLiteral("app-2")}}}),
    [](const ::testing::TestParamInfo<GrantCase>& info) {
      return QString::fromLatin1(info.param.provider).remove(u'-').toStdString();
    });

// ---- Refused logins and refusing token endpoints over SMTP ----

struct RefusalCase {
  const char* name;
  QStringList serverTokens;  ///< the tokens the SMTP server takes, in turn
  int loginsPerToken = 0;
  QString refuse = {};  ///< the token endpoint's error
  int mailed;
  int tokenRequests;
  QString stopLine = {};  ///< in the one "Sending stopped" line; empty: none
};

void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.name; }

class LoginRefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(LoginRefusalTest, EveryDocumentIsMailedOnceOrStaysPending) {
  const RefusalCase& c = GetParam();
  OAuthProgram program(4);
  SmtpPeerOptions smtp{test::PeerTls::StartTls, {}, {}, {}, 0, program.certDir()};
  smtp.xoauth2User = kUser;
  smtp.xoauth2Tokens = c.serverTokens;
  smtp.loginsPerToken = c.loginsPerToken;
  const SmtpPeer peer(smtp, {.closeAfter = 1});
  const OAuthPeer oauth({program.certDir(), c.refuse, kInvalidClient});
  program.setServer(QStringLiteral("127.0.0.1"), peer.port(), kUser);
  program.writeIni(QStringLiteral("Auth=XOAUTH2"), microsoftIni(oauth));

  const Outcome outcome = program.runOnce(oauth, [&] { return peer.messageFiles(); });
  const QString log = outcome.log.join(u'\n');
  EXPECT_EQ(outcome.mailed, c.mailed) << log.toStdString();
  EXPECT_EQ(outcome.tokenRequests, c.tokenRequests);
  EXPECT_EQ(log.count(QStringLiteral("Sending stopped")), c.stopLine.isEmpty() ? 0 : 1) << log.toStdString();
  EXPECT_EQ(log.count(QStringLiteral("Email send failed")), 0) << "no document is to blame";
  if (!c.stopLine.isEmpty()) {
    EXPECT_TRUE(log.contains(c.stopLine)) << log.toStdString();
  }
  program.expectNoSecret(outcome);
}

INSTANTIATE_TEST_SUITE_P(Cases, LoginRefusalTest,
                         ::testing::Values(
                             // The server revokes the kept token after the first login: a new
                             // token, once, and the run goes on.
                             RefusalCase{.name = "KeptTokenRefusedIsRenewedOnce",
                                         .serverTokens = {QStringLiteral("tok-1"), QStringLiteral("tok-2")},
                                         .loginsPerToken = 1,
                                         .mailed = 4,
                                         .tokenRequests = 2},
                             // A token fresh from the endpoint is not asked for again.
                             RefusalCase{.name = "FreshTokenRefusedStopsTheRun",
                                         .serverTokens = {QStringLiteral("another")},
                                         .mailed = 0,
                                         .tokenRequests = 1,
                                         .stopLine = QStringLiteral("login as dte@laceiba.example refused: 535 5.7.8")},
                             RefusalCase{.name = "TokenEndpointRefusesStopsTheRun",
                                         .serverTokens = {QStringLiteral("tok-1")},
                                         .refuse = QStringLiteral("invalid_client"),
                                         .mailed = 0,
                                         .tokenRequests = 1,
                                         .stopLine = QStringLiteral("invalid_client: ") + kInvalidClient}),
                         [](const ::testing::TestParamInfo<RefusalCase>& info) {
                           return std::string(info.param.name);
                         });

// ---- The Graph transport ----

struct GraphCase {
  const char* name;
  QStringList faults = {};  ///< "N:STATUS" for the Nth sendMail
  int retryAfter = 1;
  bool revokeFirst = false;
  int mailed;
  int tokenRequests = 1;
  QString logged = {};  ///< a line of the log holds this
  int sends = -1;       ///< sendMail requests in the run; -1: not counted
  /// >= 0: a second run follows, and this many sendMail requests were made
  /// in both runs together (the wait holds across runs).
  int sendsAfterSecondRun = -1;
};

void PrintTo(const GraphCase& c, std::ostream* out) { *out << c.name; }

class GraphStatusTest : public ::testing::TestWithParam<GraphCase> {};

TEST_P(GraphStatusTest, EveryDocumentIsMailedOnceOrStaysPending) {
  const GraphCase& c = GetParam();
  OAuthProgram program(4);
  const OAuthPeer oauth({program.certDir(), {}, {}, {}, c.revokeFirst, c.faults, c.retryAfter});
  program.setServer(QStringLiteral("graph:") + oauth.base(), 25, QString());
  program.writeIni(QStringLiteral("Connections=2"), microsoftIni(oauth));

  const Outcome outcome = program.runOnce(oauth, [&] { return oauth.messageFiles(); });
  const QString log = outcome.log.join(u'\n');
  EXPECT_EQ(outcome.mailed, c.mailed) << log.toStdString();
  EXPECT_EQ(outcome.tokenRequests, c.tokenRequests);
  EXPECT_EQ(
      oauth.requests(QStringLiteral("token")).value(0)[QStringLiteral("form")].toObject()[QStringLiteral("scope")],
      QStringLiteral("https://graph.microsoft.com/.default"));
  for (const QJsonObject& send : oauth.requests(QStringLiteral("graph"))) {
    EXPECT_EQ(send[QStringLiteral("user")].toString(), QStringLiteral("dte@laceiba.example"));
    EXPECT_EQ(send[QStringLiteral("content_type")].toString(), QStringLiteral("text/plain"));
  }
  if (!c.logged.isEmpty()) {
    EXPECT_TRUE(log.contains(c.logged)) << log.toStdString();
  }
  if (c.sends >= 0) {
    EXPECT_EQ(oauth.requests(QStringLiteral("graph")).size(), c.sends);
  }
  program.expectNoSecret(outcome);
  if (c.sendsAfterSecondRun < 0) return;
  const Outcome second = program.runOnce(oauth, [&] { return oauth.messageFiles(); });
  EXPECT_EQ(oauth.requests(QStringLiteral("graph")).size(), c.sendsAfterSecondRun)
      << second.log.join(u'\n').toStdString();
  EXPECT_EQ(second.mailed, c.mailed);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, GraphStatusTest,
    ::testing::Values(
        GraphCase{.name = "Accepted", .mailed = 4},
        GraphCase{.name = "TooManyRequestsIsWaitedOut", .faults = {QStringLiteral("2:429")}, .mailed = 4},
        GraphCase{.name = "UnavailableIsWaitedOut", .faults = {QStringLiteral("1:503")}, .mailed = 4},
        // Longer than a run may wait: nothing is sent to the service until
        // the time it named, in this run or the next.
        GraphCase{.name = "TooLongAWaitPausesSendingAcrossRuns",
                  .faults = {QStringLiteral("1:429"), QStringLiteral("2:429")},
                  .retryAfter = 3600,
                  .mailed = 0,
                  .logged = QStringLiteral("Sending stopped for 60 min, next try at "),
                  .sends = 1,
                  .sendsAfterSecondRun = 1},
        // The mailbox or the application's rights, not the message: a
        // refused login, which holds across runs.
        GraphCase{.name = "ForbiddenIsARefusedLogin",
                  .faults = {QStringLiteral("1-99:403")},
                  .mailed = 0,
                  .logged = QStringLiteral("next login at "),
                  .sends = 1,
                  .sendsAfterSecondRun = 1},
        GraphCase{.name = "UnknownMailboxIsARefusedLogin",
                  .faults = {QStringLiteral("1-99:404")},
                  .mailed = 0,
                  .logged = QStringLiteral("HTTP 404 ErrorInvalidUser: Injected status 404 Hint: "),
                  .sends = 1},
        GraphCase{.name = "UnauthorizedFetchesANewTokenOnce", .revokeFirst = true, .mailed = 4, .tokenRequests = 2},
        GraphCase{.name = "BadRequestFailsThatDocument",
                  .faults = {QStringLiteral("2:400")},
                  .mailed = 3,
                  .logged = QStringLiteral("HTTP 400 ErrorInvalidRecipients: Injected status 400")}),
    [](const ::testing::TestParamInfo<GraphCase>& info) { return std::string(info.param.name); });

// ---- Graph's waits, one document over one session ----

struct WaitCase {
  const char* name;
  QStringList faults;     ///< "N:STATUS[:RETRY-AFTER]"
  QString retryAfter;     ///< the peer's Retry-After where a fault names none
  QList<double> minGaps;  ///< seconds at least between one sendMail and the next
  int mailed;
};

void PrintTo(const WaitCase& c, std::ostream* out) { *out << c.name; }

class GraphWaitTest : public ::testing::TestWithParam<WaitCase> {};

TEST_P(GraphWaitTest, WaitsAsAskedAtLeastASecondNeverLessThanBeforeAndFiveTimesAtMost) {
  const WaitCase& c = GetParam();
  OAuthProgram program(1);
  test::OAuthPeerOptions options{program.certDir(), {}, {}, {}, false, c.faults};
  options.retryAfterText = c.retryAfter;
  const OAuthPeer oauth(options);
  program.setServer(QStringLiteral("graph:") + oauth.base(), 25, kUser);
  program.writeIni(QString(), microsoftIni(oauth));

  const Outcome outcome = program.runOnce(oauth, [&] { return oauth.messageFiles(); });
  EXPECT_EQ(outcome.mailed, c.mailed) << outcome.log.join(u'\n').toStdString();
  const QList<QJsonObject> sends = oauth.requests(QStringLiteral("graph"));
  ASSERT_EQ(sends.size(), c.minGaps.size() + 1);
  for (qsizetype i = 0; i < c.minGaps.size(); ++i)
    EXPECT_GE(sends[i + 1][QStringLiteral("time")].toDouble() - sends[i][QStringLiteral("time")].toDouble(),
              c.minGaps[i])
        << "wait " << i + 1;
}

INSTANTIATE_TEST_SUITE_P(
    Waits, GraphWaitTest,
    ::testing::Values(WaitCase{"ZeroWaitsASecond", {QStringLiteral("1:429")}, QStringLiteral("0"), {1.0}, 1},
                      WaitCase{"MissingWaitsASecond", {QStringLiteral("1:503")}, QStringLiteral("none"), {1.0}, 1},
                      // An HTTP date counts to the second: three ahead is two at least.
                      WaitCase{"HttpDate", {QStringLiteral("1:429")}, QStringLiteral("date+3"), {2.0}, 1},
                      WaitCase{"NeverShorterThanTheWaitBefore",
                               {QStringLiteral("1:429:2"), QStringLiteral("2:429:0")},
                               QStringLiteral("0"),
                               {2.0, 2.0},
                               1},
                      WaitCase{"FiveTriesThenTheDocumentWaitsForTheNextRun",
                               {QStringLiteral("1-99:429")},
                               QStringLiteral("0"),
                               {1.0, 1.0, 1.0, 1.0},
                               0}),
    [](const ::testing::TestParamInfo<WaitCase>& info) { return std::string(info.param.name); });

// ---- A refresh token that rotates ----

// Microsoft's endpoint spends each refresh token and answers with the next.
// The next is kept, readable by the owner alone and shown nowhere; a restart
// uses it, so the configured one is no longer needed; a new consent in
// main.ini wins over it.
TEST(RefreshTokenRotationTest, TheNextRefreshTokenIsKeptAcrossRestartsUntilANewConsent) {
  OAuthProgram program(3);
  const QString newConsent = QStringLiteral("rt-consent-2");
  test::OAuthPeerOptions options{program.certDir()};
  options.refreshTokens = {kRefreshToken, newConsent};
  options.rotate = true;
  const OAuthPeer oauth(options);
  program.setServer(QStringLiteral("graph:") + oauth.base(), 25, kUser);
  program.writeIni(QString(), oauthIni(QStringLiteral("refresh-token"), oauth));
  const auto usedRefreshToken = [&](qsizetype request) {
    return oauth.requests(QStringLiteral("token"))
        .value(request)[QStringLiteral("form")]
        .toObject()[QStringLiteral("refresh_token")]
        .toString();
  };

  const test::ProgramRun check = program.run({QStringLiteral("check")});
  EXPECT_TRUE(
      check.out.contains("ok    oauth refresh token: the one the endpoint gave in its place, kept in "
                         "oauth-refresh-token.json since "))
      << check.out.toStdString();
  const QString kept = program.dir.filePath(QString::fromLatin1(RefreshTokenStore::kFileName));
  const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
  EXPECT_TRUE(QFile::exists(kept));
  EXPECT_FALSE(QFile::permissions(kept) & others) << "readable by the owner alone";
  EXPECT_FALSE(
      program.dir.readFile(QString::fromLatin1(RefreshTokenStore::kFileName)).contains(kRefreshToken.toUtf8()));

  const Outcome restarted = program.runOnce(oauth, [&] { return oauth.messageFiles(); });
  EXPECT_EQ(restarted.mailed, 3) << restarted.log.join(u'\n').toStdString();
  EXPECT_EQ(usedRefreshToken(1), QStringLiteral("rt-1")) << "the configured one was spent";

  program.writeIni(QString(), oauthIni(QStringLiteral("refresh-token"), oauth).replace(kRefreshToken, newConsent));
  const test::ProgramRun consent = program.run({QStringLiteral("check")});
  EXPECT_EQ(usedRefreshToken(2), newConsent);
  for (const QString& output : {QString::fromUtf8(check.out + consent.out + consent.err), restarted.log.join(u'\n')})
    for (const QString& secret : {QStringLiteral("rt-1"), QStringLiteral("rt-2"), newConsent})
      EXPECT_FALSE(output.contains(secret)) << secret.toStdString();
  program.expectNoSecret(restarted);
}

// ---- main.ini read again by every run ----

// A client secret that the endpoint refuses starts the login wait; the
// running program asks no more, and logs no line per run, until main.ini
// holds the new secret, which the next run reads and tries at once.
TEST(OAuthMainIniTest, ANewClientSecretIsTriedByTheNextRunWithoutARestart) {
  OAuthProgram program(3);
  test::OAuthPeerOptions options{program.certDir()};
  options.clientSecret = kSecret;
  const OAuthPeer oauth(options);
  program.setServer(QStringLiteral("graph:") + oauth.base(), 25, kUser);
  program.writeIni(QString(), microsoftIni(oauth).replace(kSecret, QStringLiteral("an-old-secret")));
  QProcess running;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("CURL_CA_BUNDLE"), program.certDir() + QStringLiteral("/ca.pem"));
  test::startProgram(running, test::thisBuild(),
                     {QStringLiteral("--headless"), QStringLiteral("--app-dir"), program.dir.path()}, environment);
  QByteArray captions;
  const auto runsEnded = [&] {
    running.waitForReadyRead(50);
    captions += running.readAllStandardOutput();
    return captions.count("Last Run: ");
  };
  ASSERT_TRUE(test::pollUntil([&] { return program.dir.exists(QString::fromLatin1(LoginWait::kFileName)); }, 60000))
      << program.dir.logLines().join(u'\n').toStdString();
  const qsizetype refusedAt = runsEnded();
  // A new document meanwhile changes the runs' counts, not the log.
  program.dir.createSqlite(
      QStringLiteral("v.db"),
      QStringLiteral("CREATE TEMP TABLE c AS SELECT * FROM FACTURAS_ENC WHERE SERIE = 'BM' AND NUMERO = 1;\n"
                     "UPDATE c SET NUMERO = 99, IDDOCUMENTO = 'BENCH-000099', EMAIL = 'buyer99@example.com';\n"
                     "INSERT INTO FACTURAS_DET SELECT SERIE, 99, LINEA, IDARTICULO, ARTICULO, CANTIDAD, PRECIO, "
                     "PRECIO_FINAL, TLINEA, IITLINEA FROM FACTURAS_DET WHERE SERIE = 'BM' AND NUMERO = 1;\n"
                     "INSERT INTO FACTURAS_ENC SELECT * FROM c;\n"));
  ASSERT_TRUE(test::pollUntil([&] { return runsEnded() >= refusedAt + 2; }, 60000));
  EXPECT_EQ(oauth.requests(QStringLiteral("token")).size(), 1) << "no request while the wait holds";
  EXPECT_EQ(program.dir.logLines().filter(QStringLiteral("sendDTEbyMail=> Run: ")).size(), 1)
      << "runs that try nothing are summed up hourly: " << program.dir.logLines().join(u'\n').toStdString();

  program.writeIni(QString(), microsoftIni(oauth));
  EXPECT_TRUE(test::pollUntil([&] { return oauth.messageFiles().size() == 4; }, 60000))
      << program.dir.logLines().join(u'\n').toStdString();
  running.terminate();
  ASSERT_TRUE(running.waitForFinished(60000));
  EXPECT_EQ(running.exitCode(), 0);
  QStringList pending;
  EXPECT_TRUE(test::brokenPromises(program.dir, QStringLiteral("v.db"), oauth.messageFiles(), &pending).isEmpty());
  EXPECT_TRUE(pending.isEmpty());
  EXPECT_EQ(oauth.requests(QStringLiteral("token")).size(), 2);
}

// ---- check and test-mail ----

struct CommandCase {
  const char* name;
  bool graph;
  QString refuse = {};
  QStringList arguments;
  int exitCode;
  QStringList printed;  ///< each is in the output
};

void PrintTo(const CommandCase& c, std::ostream* out) { *out << c.name; }

class OAuthCommandTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(OAuthCommandTest, SaysWhatTheEndpointAnsweredAndNoSecret) {
  const CommandCase& c = GetParam();
  OAuthProgram program(1);
  SmtpPeerOptions smtp{test::PeerTls::StartTls, {}, {}, {}, 0, program.certDir()};
  smtp.xoauth2User = kUser;
  smtp.xoauth2Tokens = {QStringLiteral("tok-1")};
  const SmtpPeer peer(smtp);
  const OAuthPeer oauth({program.certDir(), c.refuse, kInvalidClient});
  program.setServer(c.graph ? QStringLiteral("graph:") + oauth.base() : QStringLiteral("127.0.0.1"), peer.port(),
                    kUser);
  program.writeIni(c.graph ? QString() : QStringLiteral("Auth=xoauth2"), microsoftIni(oauth));
  QFile::setPermissions(program.dir.filePath(QStringLiteral("main.ini")),
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);

  const test::ProgramRun run = program.run(c.arguments);
  const QString output = QString::fromUtf8(run.out + run.err);
  EXPECT_EQ(run.exitCode, c.exitCode) << output.toStdString();
  for (const QString& text : c.printed) EXPECT_TRUE(output.contains(text)) << output.toStdString();
  program.expectNoSecret(Outcome{program.dir.logLines(), run.out + run.err, 0, 0, {}});
  EXPECT_EQ(oauth.requests(QStringLiteral("token")).size(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, OAuthCommandTest,
    ::testing::Values(
        CommandCase{"CheckWarnsOfAReadableSecretAndLogsInOverSmtp",
                    false,
                    {},
                    {QStringLiteral("check")},
                    1,
                    {QStringLiteral("FAIL  main.ini OAuth secret"), QStringLiteral("issued a token"),
                     QStringLiteral("XOAUTH2 login as dte@laceiba.example), sender dte@laceiba.example accepted")}},
        CommandCase{"CheckSaysWhatARefusingEndpointAnswered",
                    true,
                    QStringLiteral("invalid_client"),
                    {QStringLiteral("check")},
                    1,
                    {QStringLiteral("(HTTP 401): invalid_client: ") + kInvalidClient, QStringLiteral("ClientSecret")}},
        CommandCase{"TestMailGoesThroughGraph",
                    true,
                    {},
                    {QStringLiteral("test-mail"), QStringLiteral("buyer@example.com")},
                    0,
                    {QStringLiteral("202 Accepted")}},
        CommandCase{"TestMailGoesThroughSmtpWithXoauth2",
                    false,
                    {},
                    {QStringLiteral("test-mail"), QStringLiteral("buyer@example.com")},
                    0,
                    {QStringLiteral("250 Message accepted")}}),
    [](const ::testing::TestParamInfo<CommandCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvex
