#include "mail/smtp_connection.h"

#include "base/error.h"
#include "net/curl_handle.h"

#include <QUrl>

#include <algorithm>

namespace corvex {

namespace {

constexpr long kConnectTimeoutSeconds = 30;
constexpr long kLowSpeedBytesPerSecond = 1;
constexpr long kLowSpeedSeconds = 60;
constexpr int kImplicitTlsPort = 465;

// libcurl says EHLO with the URL's path, and with the machine's short name
// when there is none.
QByteArray serverUrl(const MailAccount& account, TlsMode mode) {
  // An IPv6 address needs brackets in a URL.
  const QString host =
      account.server.contains(u':') && !account.server.startsWith(u'[') ? u'[' + account.server + u']' : account.server;
  const char* scheme = mode == TlsMode::Implicit ? "smtps://" : "smtp://";
  return scheme + host.toUtf8() + ':' + QByteArray::number(account.port) + '/' +
         QUrl::toPercentEncoding(account.heloName);
}

}  // namespace

TlsMode tlsModeFor(int port, bool requireTls) {
  if (!requireTls) return TlsMode::None;
  return port == kImplicitTlsPort ? TlsMode::Implicit : TlsMode::StartTls;
}

long limitedTimeout(long seconds) {
  bool ok = false;
  const long limit = qEnvironmentVariableIntValue("CORVEX_SMTP_TIMEOUT_LIMIT", &ok);
  return ok && limit > 0 ? std::min(seconds, limit) : seconds;
}

QString smtpAccountProblem(const MailAccount& account) {
  if (account.server.trimmed().isEmpty()) return QStringLiteral("no SMTP server configured");
  if (account.port < 1 || account.port > 65535) return QStringLiteral("invalid SMTP port %1").arg(account.port);
  if (account.auth == SmtpAuth::XOAuth2 && account.user.isEmpty())
    return QStringLiteral("[SMTP] Auth=xoauth2 needs sysSMTPUser, the mailbox to log in as");
  return {};
}

void setUpSmtpConnection(CURL* curl, const MailAccount& account, const TrustBundle& trust, char* errorBuffer) {
  const TlsMode mode = tlsModeFor(account.port, account.requireTls);
  setCurlOption(curl, CURLOPT_URL, serverUrl(account, mode).constData());
  setCurlOption(curl, CURLOPT_ERRORBUFFER, errorBuffer);
  setCurlOption(curl, CURLOPT_NOSIGNAL, 1L);
  setCurlOption(curl, CURLOPT_USE_SSL, static_cast<long>(mode == TlsMode::StartTls ? CURLUSESSL_ALL : CURLUSESSL_NONE));
  setCurlOption(curl, CURLOPT_CONNECTTIMEOUT, limitedTimeout(kConnectTimeoutSeconds));
  setCurlOption(curl, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytesPerSecond);
  setCurlOption(curl, CURLOPT_LOW_SPEED_TIME, limitedTimeout(kLowSpeedSeconds));
  setCurlOption(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, limitedTimeout(kSmtpReplyTimeoutSeconds));
  setCurlOption(curl, CURLOPT_TIMEOUT, limitedTimeout(kSmtpMessageTimeoutSeconds));
  if (setUpTrust(curl, trust) != CURLE_OK)
    throw Error(kMailComponentError, QStringLiteral("libcurl cannot check certificates"));
}

}  // namespace corvex
