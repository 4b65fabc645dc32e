#include "mail/smtp_transport.h"

#include "mail/helo_name.h"

#include "net/trust_store.h"
#include "support/scoped_env.h"

#include <curl/curl.h>

#include <QFile>
#include <QTemporaryDir>
#include <csignal>

#include <gtest/gtest.h>

namespace corvex {
namespace {

struct ModeCase {
  int port;
  bool requireTls;
  TlsMode expected;
};

class TlsModeFor : public ::testing::TestWithParam<ModeCase> {};

TEST_P(TlsModeFor, ImplicitOnlyOn465WhenTlsIsRequired) {
  EXPECT_EQ(tlsModeFor(GetParam().port, GetParam().requireTls), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Ports, TlsModeFor,
                         ::testing::Values(ModeCase{465, true, TlsMode::Implicit},
                                           ModeCase{587, true, TlsMode::StartTls},
                                           ModeCase{25, true, TlsMode::StartTls},
                                           ModeCase{2525, true, TlsMode::StartTls}, ModeCase{465, false, TlsMode::None},
                                           ModeCase{587, false, TlsMode::None}));

struct AccountCase {
  QString server;
  int port;
  QString expected;
};

class UnusableAccount : public ::testing::TestWithParam<AccountCase> {};

TEST_P(UnusableAccount, FailsPermanentlyWithAClearReasonBeforeConnecting) {
  SmtpTransport transport(MailAccount{GetParam().server, GetParam().port, {}, {}, true, {}}, 100);
  const SendResult result =
      transport.deliver(MailEnvelope{QStringLiteral("a@example.com"), {QStringLiteral("b@example.com")}, 3}, "x\r\n");
  EXPECT_TRUE(result.isPermanent());
  EXPECT_EQ(result.text(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Settings, UnusableAccount,
                         ::testing::Values(AccountCase{"", 587, "no SMTP server configured"},
                                           AccountCase{"127.0.0.1", 0, "invalid SMTP port 0"},
                                           AccountCase{"127.0.0.1", -1, "invalid SMTP port -1"}));

// Without a name of its own the machine greets with the literal of the
// address it reaches the server from, in the server's family.
struct HeloCase {
  const char* server;
  const char* literalStart;
};

class HeloLiteral : public ::testing::TestWithParam<HeloCase> {};

TEST_P(HeloLiteral, IsOfTheServersFamily) {
  const QString name = heloName(QString(), QString::fromLatin1(GetParam().server));
  if (!name.startsWith(u'[')) GTEST_SKIP() << "this machine has a fully qualified name: " << name.toStdString();
  EXPECT_TRUE(name.startsWith(QString::fromLatin1(GetParam().literalStart))) << name.toStdString();
  EXPECT_EQ(heloNameProblem(name), QString());
}

INSTANTIATE_TEST_SUITE_P(Servers, HeloLiteral,
                         ::testing::Values(HeloCase{"127.0.0.1", "[127."}, HeloCase{"::1", "[IPv6:"},
                                           HeloCase{"[::1]", "[IPv6:"}));

// A peer that resets a connection under a write must cost one message, not
// the process.
TEST(SmtpTransportTest, CreatingATransportIgnoresBrokenPipes) {
  std::signal(SIGPIPE, SIG_DFL);
  const SmtpTransport transport(MailAccount{QStringLiteral("127.0.0.1"), 25, {}, {}, true, {}}, 100);
  struct sigaction action {};
  ASSERT_EQ(sigaction(SIGPIPE, nullptr, &action), 0);
  EXPECT_EQ(action.sa_handler, SIG_IGN);
}

// The extra bundle must add to what the system trusts, never replace it.
class TrustBundleTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
};

TEST_F(TrustBundleTest, HoldsTheSystemStoreAndThenTheExtraBundle) {
  const QByteArray extra = "-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n";
  QFile file(dir.filePath(QStringLiteral("extra.pem")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(extra) == extra.size());
  file.close();
  const test::ScopedEnv bundle("CURL_CA_BUNDLE", file.fileName());
  QFile system(QString::fromLocal8Bit(curl_version_info(CURLVERSION_NOW)->cainfo));
  ASSERT_TRUE(system.open(QIODevice::ReadOnly)) << "the system's CA bundle";
  const QByteArray systemCertificates = system.readAll();
  ASSERT_TRUE(systemCertificates.contains("BEGIN CERTIFICATE"));

  const TrustBundle trust = trustBundle();
  EXPECT_TRUE(trust.problem.isEmpty()) << trust.problem.toStdString();
  EXPECT_TRUE(trust.pem.startsWith(systemCertificates));
  EXPECT_TRUE(trust.pem.endsWith(extra));
}

TEST_F(TrustBundleTest, AnUnreadableBundleIsNamed) {
  const test::ScopedEnv bundle("CURL_CA_BUNDLE", dir.filePath(QStringLiteral("missing.pem")));
  const TrustBundle trust = trustBundle();
  EXPECT_TRUE(trust.pem.isEmpty());
  EXPECT_TRUE(trust.problem.startsWith(QStringLiteral("CURL_CA_BUNDLE names no readable PEM bundle: ")));
  EXPECT_TRUE(trust.problem.contains(QStringLiteral("missing.pem")));
}

TEST_F(TrustBundleTest, WithoutTheVariableLibcurlKeepsItsOwnDefaults) {
  qunsetenv("CURL_CA_BUNDLE");
  EXPECT_TRUE(trustBundle().pem.isEmpty());
  EXPECT_TRUE(trustBundle().problem.isEmpty());
}

}  // namespace
}  // namespace corvex
