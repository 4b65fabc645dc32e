#pragma once

#include "mail/send_result.h"
#include "net/https_client.h"
#include "oauth/token_cache.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace corvex {

/// A server given as "graph:" (Microsoft's global service) or
/// "graph:https://HOST[:PORT]" (a national cloud, a test server) sends
/// through Microsoft Graph.
inline constexpr char kGraphPrefix[] = "graph:";

bool isGraphServer(const QString& server);
/// The service's base URL of a graph server; Microsoft's global one for a
/// bare "graph:".
QString graphBase(const QString& server);
/// Why `server` names no usable Graph service (not https), or an empty text.
QString graphServerProblem(const QString& server);
/// Graph's error code and message from an error reply's body
/// ("ErrorInvalidRecipients: At least one recipient is not valid."), or the
/// body's start when it holds none.
QString graphError(const QByteArray& body);

/// Messages sent through Microsoft Graph: each whole MIME message is POSTed,
/// base64-encoded, to {base}/v1.0/users/{from}/sendMail with a token from
/// `tokens`; Graph takes the recipients from the message's own headers.
///
/// 202 is sent. 429 and 503 are waited out as Retry-After asks, while the
/// waits of one message stay within `waitLimitSeconds`; a longer wait stops
/// the run's sending (SendResult::stopping()). A 401 fetches a new token once;
/// a second one, or a token that cannot be had, stops the run's sending too.
/// Any other refusal fails the message with Graph's error code and message
/// (5xx and a lost connection temporarily, 4xx for good). One transport is
/// used by one thread at a time; it keeps its HTTPS connection.
class GraphTransport {
 public:
  /// `server` as sysSMTPServer gives it ("graph:...").
  GraphTransport(const QString& server, std::shared_ptr<TokenCache> tokens, long waitLimitSeconds);

  /// A server that names no https URL fails every message for good.
  SendResult deliver(const QString& from, const QByteArray& mime);

 private:
  SendResult outcome(const HttpReply& reply) const;

  QString m_base;
  QString m_problem;
  std::shared_ptr<TokenCache> m_tokens;
  long m_waitLimitSeconds;
  HttpsClient m_client;
};

}  // namespace corvex
