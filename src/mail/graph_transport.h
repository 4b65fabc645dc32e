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
/// 202 is sent. A 429 or 503 is tried again after the wait Retry-After asks
/// for (seconds, or an HTTP date; a missing, zero or negative one waits 1 s,
/// and no wait is shorter than the one before), at most kMostTries tries of
/// one message with its waits within kWaitBudgetSeconds, after which the
/// message fails for this run. A service that asks for a single wait of more
/// than kLongestWaitSeconds is left alone: SendResult::paused() for that
/// long.
///
/// A 401 fetches a new token once. A second 401, a 403 or 404 (which concern
/// the mailbox or the application's rights, never the message), or a token
/// the endpoint refuses, is a refused login (Reach::Account), with Graph's
/// code and message. A token endpoint that cannot answer for now fails the
/// message for this run, as a server that cannot be reached does
/// (Reach::Session). Any other refusal fails the message with Graph's error
/// code and message (5xx and a lost connection temporarily, 4xx for good).
///
/// `stop` ends every wait before a request goes out (Retry-After's, the
/// token request's, connecting): SendResult::stopped(). The answer to a
/// request that went out is always waited for, within the time-out: only it
/// says whether the message was taken.
///
/// One transport is used by one thread at a time; it keeps its HTTPS
/// connection.
class GraphTransport {
 public:
  static constexpr int kMostTries = 5;
  static constexpr qint64 kLongestWaitSeconds = 60;
  static constexpr qint64 kWaitBudgetSeconds = 120;

  /// `server` as sysSMTPServer gives it ("graph:...").
  GraphTransport(const QString& server, std::shared_ptr<TokenCache> tokens, StopCheck stop = {});

  /// A server that names no https URL fails every message for good.
  SendResult deliver(const QString& from, const QByteArray& mime);

 private:
  SendResult post(const QString& url, const QByteArray& body);
  SendResult outcome(const HttpReply& reply, int tries) const;

  QString m_base;
  QString m_problem;
  std::shared_ptr<TokenCache> m_tokens;
  StopCheck m_stop;
  HttpsClient m_client;
};

}  // namespace corvex
