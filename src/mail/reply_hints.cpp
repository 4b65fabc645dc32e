#include "mail/reply_hints.h"

#include <QRegularExpression>

#include <array>

namespace corvex {

namespace {

enum class Login { Any, Password, Token };

/// One row: a reply matching `pattern` (case-insensitive), under `login`
/// and, when `provider` is not empty, under that [OAuth] Provider, gets
/// `hint`. The first row that matches wins, so a row for one cause of a
/// code comes before the row for the code alone.
struct HintRow {
  const char* pattern;
  Login login;
  const char* provider;
  const char* hint;
};

// clang-format off
constexpr std::array kRows{
  // Microsoft 365 turned password logins off, for the tenant or for SMTP.
  HintRow{R"(5\.7\.139.*SmtpClientAuthentication is disabled)", Login::Any, "",
          "authenticated SMTP is switched off for this mailbox or tenant: switch it on for the mailbox in the "
          "Microsoft 365 admin center (Mail > Manage email apps > Authenticated SMTP); OAuth over SMTP needs it too, "
          "sending through Graph (sysSMTPServer graph:) does not"},
  HintRow{R"(5\.7\.139|5\.7\.30\b)", Login::Password, "",
          "the provider no longer takes passwords for SMTP: log in with OAuth ([SMTP] Auth=xoauth2 and an [OAuth] "
          "section) or send through Microsoft Graph (sysSMTPServer graph:), see docs/configuration.md"},
  HintRow{R"(5\.7\.3\b)", Login::Token, "",
          "the token was issued but Exchange does not let the app use this mailbox: register the app's service "
          "principal in Exchange Online (New-ServicePrincipal) and give it FullAccess to the mailbox "
          "(Add-MailboxPermission)"},
  HintRow{R"(5\.7\.8\b.*(Username and Password not accepted|BadCredentials))", Login::Password, "",
          "Google takes no account password for SMTP: use an app password (with 2-Step Verification on) or OAuth "
          "([SMTP] Auth=xoauth2 with a service account)"},
  HintRow{R"(5\.7\.60\b|5\.2\.252\b|SendAsDenied)", Login::Any, "",
          "the mailbox that logs in (sysSMTPUser) may not send as sysSMTPFrom: give it Send As rights on that "
          "address, or make sysSMTPFrom the mailbox's own address"},
  HintRow{R"(\b4\.7\.\d+)", Login::Any, "",
          "the provider is throttling this mailbox for now: Corvex tries again on its own; if it keeps happening, "
          "lower [SMTP] MessagesPerMinute or Connections"},
  // Microsoft Graph's sendMail: the mailbox or the application's rights.
  HintRow{R"(HTTP 403 (ErrorAccessDenied|Authorization_RequestDenied|ErrorSendAsDenied))", Login::Any, "",
          "the application may not send as this mailbox: give it the Microsoft Graph application permission Mail.Send "
          "with admin consent, and make sure no application access policy leaves sysSMTPFrom out"},
  HintRow{R"(HTTP 404 (ErrorInvalidUser|MailboxNotEnabledForRESTAPI|ResourceNotFound|ErrorItemNotFound))",
          Login::Any, "",
          "Microsoft 365 knows no mailbox for sysSMTPFrom: it must be a mailbox of the tenant, licensed for "
          "Exchange Online (not a group, nor a mailbox hosted on premises)"},
  // The token endpoint.
  HintRow{R"(AADSTS7000222)", Login::Any, "",
          "the client secret has expired: add a new one under Certificates & secrets of the app registration and "
          "put its value in [OAuth] ClientSecret"},
  HintRow{R"(AADSTS700016)", Login::Any, "",
          "no application with this ClientId is known in the tenant: check [OAuth] ClientId and TenantId, and that "
          "an administrator of that tenant consented to the app"},
  HintRow{R"(AADSTS7000215)", Login::Any, "",
          "the client secret is wrong: [OAuth] ClientSecret must hold the secret's value, not its ID"},
  HintRow{R"(\bunauthorized_client\b)", Login::Any, "google",
          "domain-wide delegation is missing: in the Google Admin console, give the service account's client ID "
          "the scope https://mail.google.com/"},
  HintRow{R"(\binvalid_grant\b)", Login::Any, "google",
          "Google refused the service account's signed request: check this machine's clock, that sysSMTPUser is a "
          "mailbox of the domain, and that the key in KeyFile has not been deleted"},
  HintRow{R"(\binvalid_grant\b)", Login::Any, "",
          "the refresh token was revoked or has expired: sign in again to give a new consent and put the new "
          "refresh token in [OAuth] RefreshToken"},
  // The buyer's side: bounces (refused after ours accepted), or refusals at RCPT.
  HintRow{R"(5\.7\.515\b|5\.7\.26\b|5\.7\.23\b|5\.7\.509\b)", Login::Any, "",
          "the buyer's server refused mail that fails SPF, DKIM or DMARC for the sender's domain: publish SPF and "
          "DKIM (and a DMARC record) for the domain of sysSMTPFrom at its DNS provider"},
  HintRow{R"(5\.1\.1\b|5\.1\.10\b)", Login::Any, "",
          "the recipient's address does not exist: correct the buyer's address in the sales system; a document not "
          "mailed yet then goes out by itself, one mailed before with corvex resend SERIE NUMERO --to ADDRESS"},
  HintRow{R"(5\.2\.2\b)", Login::Any, "",
          "the recipient's mailbox is full: a document not mailed yet is tried again by itself; one that bounced, "
          "later with corvex resend SERIE NUMERO"},
};
// clang-format on

bool applies(const HintRow& row, const HintContext& context) {
  if (row.login == Login::Password && context.tokenLogin) return false;
  if (row.login == Login::Token && !context.tokenLogin) return false;
  return row.provider[0] == '\0' || context.provider == QLatin1String(row.provider);
}

}  // namespace

QString replyHint(const QString& reply, const HintContext& context) {
  static const auto patterns = [] {
    std::array<QRegularExpression, kRows.size()> compiled;
    for (std::size_t i = 0; i < kRows.size(); ++i)
      compiled[i] =
          QRegularExpression(QString::fromLatin1(kRows[i].pattern), QRegularExpression::CaseInsensitiveOption |
                                                                        QRegularExpression::DotMatchesEverythingOption);
    return compiled;
  }();
  for (std::size_t i = 0; i < kRows.size(); ++i) {
    if (applies(kRows[i], context) && patterns[i].match(reply).hasMatch()) return QString::fromLatin1(kRows[i].hint);
  }
  return {};
}

QString withHint(const QString& reply, const HintContext& context) {
  const QString hint = replyHint(reply, context);
  return hint.isEmpty() ? reply : reply + QStringLiteral(" Hint: ") + hint;
}

}  // namespace corvex
