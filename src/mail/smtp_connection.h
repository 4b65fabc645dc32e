#pragma once

#include "mail/smtp_transport.h"
#include "mail/trust_store.h"

#include <curl/curl.h>

#include <QString>

namespace corvex {

// The libcurl set-up that every SMTP conversation of the program shares, so a
// delivery and a check of the account reach the server in the same way.

/// How long any SMTP conversation waits for one server reply, and for one
/// whole message to go through.
inline constexpr long kSmtpReplyTimeoutSeconds = 60;
inline constexpr long kSmtpMessageTimeoutSeconds = 300;

/// Why `account` cannot be used at all (no server, a port outside 1..65535),
/// or an empty text.
QString smtpAccountProblem(const SmtpAccount& account);

/// Sets server, TLS mode, certificates to trust (`trust`, see trustBundle()),
/// time-outs and login (see SmtpTransport) on `curl`; libcurl writes its detail
/// of a failure into `errorBuffer` (CURL_ERROR_SIZE bytes), which must outlive
/// the transfer. Raises Error 429 when libcurl lacks something the program
/// relies on.
void setUpSmtpConnection(CURL* curl, const SmtpAccount& account, const TrustBundle& trust, char* errorBuffer);

/// libcurl's detail from `errorBuffer`, or its generic text for `code`.
QString curlFailureText(CURLcode code, const char* errorBuffer);

}  // namespace corvex
