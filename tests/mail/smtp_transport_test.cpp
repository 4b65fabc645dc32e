#include "mail/smtp_transport.h"

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
  SmtpTransport transport(SmtpAccount{GetParam().server, GetParam().port, {}, {}, true}, 100);
  const SendResult result =
      transport.deliver(QStringLiteral("a@example.com"), {QStringLiteral("b@example.com")}, "x\r\n");
  EXPECT_TRUE(result.isPermanent());
  EXPECT_EQ(result.text(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Settings, UnusableAccount,
                         ::testing::Values(AccountCase{"", 587, "no SMTP server configured"},
                                           AccountCase{"127.0.0.1", 0, "invalid SMTP port 0"},
                                           AccountCase{"127.0.0.1", -1, "invalid SMTP port -1"}));

}  // namespace
}  // namespace corvex
