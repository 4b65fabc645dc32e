#pragma once

#include "mail/mail_account.h"
#include "net/trust_store.h"

#include <curl/curl.h>

#include <QString>

#include <memory>

namespace corvex {

// The libcurl set-up that every SMTP conversation of the program shares, so a
// delivery and a check of the account reach the server in the same way.

/// How the connection to the SMTP server is protected.
enum class TlsMode {
  None,      ///< plain SMTP
  StartTls,  ///< plain connect, then STARTTLS, which the server must offer
  Implicit,  ///< TLS from the first byte (smtps)
};

/// "Require TLS" means implicit TLS on port 465, the port reserved for it, and
/// STARTTLS on any other port; without it the dialogue stays plain.
TlsMode tlsModeFor(int port, bool requireTls);

/// How long any SMTP conversation waits for one server reply, and for one
/// whole message to go through.
inline constexpr long kSmtpReplyTimeoutSeconds = 60;
inline constexpr long kSmtpMessageTimeoutSeconds = 300;

/// `seconds`, or less when CORVEX_SMTP_TIMEOUT_LIMIT (seconds) says so, so
/// that tests of a stalling server need not wait minutes; never more.
long limitedTimeout(long seconds);

/// Why `account` cannot be used at all (no server, a port outside 1..65535),
/// or an empty text.
QString smtpAccountProblem(const MailAccount& account);

/// Sets server, TLS mode, EHLO name, certificates to trust (`trust`, see
/// trustBundle()) and time-outs on `curl` (the login is the
/// dialogue's own, see logIn()); libcurl writes its detail of
/// a failure into `errorBuffer` (CURL_ERROR_SIZE bytes), which must outlive
/// the transfer. Server certificates are verified, host name included;
/// connecting gives up after 30 s, a transfer that moves less than one byte a
/// second for 60 s is dropped. Raises Error 429 when libcurl lacks something
/// the program relies on.
void setUpSmtpConnection(CURL* curl, const MailAccount& account, const TrustBundle& trust, char* errorBuffer);

}  // namespace corvex
