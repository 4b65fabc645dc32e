#include "mail/reply_hints.h"

#include <gtest/gtest.h>

namespace corvex {
namespace {

struct HintCase {
  const char* reply;
  HintContext context;
  const char* hintHolds;  ///< a phrase of the expected sentence; empty: no hint
};

// The replies operators meet, in the providers' own words.
const HintCase kCases[] = {
    {"login as ana refused: 535 5.7.139 Authentication unsuccessful, basic authentication is disabled.", {}, "OAuth"},
    {"login as ana refused: 535 5.7.139 Authentication unsuccessful, SmtpClientAuthentication is disabled for the "
     "Mailbox.",
     {},
     "switch it on for the mailbox"},
    {"login as ana refused: 535 5.7.139 Authentication unsuccessful, SmtpClientAuthentication is disabled for the "
     "Tenant.",
     {"microsoft", true},
     "switch it on for the mailbox"},
    {"login as ana refused: 550 5.7.30 Basic authentication is not supported for Client Submission.", {}, "OAuth"},
    {"login as ana refused: 535 5.7.3 Authentication unsuccessful", {"microsoft", true}, "service principal"},
    {"login as ana refused: 535 5.7.3 Authentication unsuccessful", {}, ""},
    {"login as ana@gmail.com refused: 535 5.7.8 Username and Password not accepted. For more information, go to "
     "https://support.google.com/mail/?p=BadCredentials",
     {},
     "app password"},
    {"login as ana@gmail.com refused: 535 5.7.8 Username and Password not accepted.", {"google", true}, ""},
    {"MAIL FROM:<dte@acme.com.sv> failed: 550 5.7.60 SMTP; Client does not have permissions to send as this sender",
     {},
     "Send As"},
    {"554 5.2.252 SendAsDenied; ventas@acme.com.sv not allowed to send as dte@acme.com.sv", {}, "Send As"},
    {"DATA failed: 451 4.7.500 Server busy. Please try again later.", {}, "throttling"},
    {"the token endpoint https://login.microsoftonline.com/t/oauth2/v2.0/token refused (HTTP 401): invalid_client: "
     "AADSTS7000222: The provided client secret keys for app 'x' are expired.",
     {"microsoft", true},
     "has expired"},
    {"refused (HTTP 400): unauthorized_client: AADSTS700016: Application with identifier 'x' was not found in the "
     "directory 'y'.",
     {"microsoft", true},
     "ClientId"},
    {"refused (HTTP 401): invalid_client: AADSTS7000215: Invalid client secret provided.",
     {"microsoft", true},
     "secret's value"},
    {"refused (HTTP 401): unauthorized_client: Client is unauthorized to retrieve access tokens using this method.",
     {"google", true},
     "domain-wide delegation"},
    {"refused (HTTP 400): invalid_grant: Invalid JWT Signature.", {"google", true}, "clock"},
    {"refused (HTTP 400): invalid_grant: AADSTS70008: The refresh token has expired due to inactivity.",
     {"refresh-token", true},
     "new consent"},
    {"sendMail failed: HTTP 403 ErrorAccessDenied: Access is denied. Check credentials and try again.",
     {"microsoft", true},
     "Mail.Send"},
    {"sendMail failed: HTTP 404 MailboxNotEnabledForRESTAPI: The mailbox is either inactive, soft-deleted, or is "
     "hosted on-premise.",
     {"microsoft", true},
     "licensed for Exchange Online"},
    {"5.7.515 Access denied, sending domain acme.com.sv doesn't meet the required authentication level.", {}, "SPF"},
    {"550 5.7.26 This mail has been blocked because the sender is unauthenticated.", {}, "DKIM"},
    {"550 5.1.1 <comprador@ejemplo.sv>: Recipient address rejected: User unknown", {}, "corvex resend"},
    {"250 2.0.0 Ok: queued as 4F2A", {}, ""},
    {"the server closed the connection", {}, ""},
};

TEST(ReplyHintsTest, EachReplyGetsItsSentenceAndKeepsItsText) {
  for (const HintCase& c : kCases) {
    const QString reply = QString::fromLatin1(c.reply);
    const QString hint = replyHint(reply, c.context);
    const QString expected = QString::fromLatin1(c.hintHolds);
    if (expected.isEmpty()) {
      EXPECT_TRUE(hint.isEmpty()) << c.reply << " -> " << hint.toStdString();
      EXPECT_EQ(withHint(reply, c.context), reply);
    } else {
      EXPECT_TRUE(hint.contains(expected)) << c.reply << " -> " << hint.toStdString();
      EXPECT_EQ(withHint(reply, c.context), reply + QStringLiteral(" Hint: ") + hint);
    }
  }
}

}  // namespace
}  // namespace corvex
