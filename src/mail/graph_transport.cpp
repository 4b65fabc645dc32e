#include "mail/graph_transport.h"

#include "base/error.h"

#include <nlohmann/json.hpp>

#include <QUrl>

#include <algorithm>
#include <chrono>

namespace corvex {

namespace {

constexpr long kAccepted = 202;
constexpr long kUnauthorized = 401;
constexpr long kForbidden = 403;
constexpr long kNotFound = 404;
constexpr long kTooManyRequests = 429;
constexpr long kUnavailable = 503;
constexpr long kTimeout = 408;
constexpr long kGraphRequestTimeoutSeconds = 120;

}  // namespace

QString graphError(const QByteArray& body) {
  const nlohmann::json json = nlohmann::json::parse(body.toStdString(), nullptr, false);
  if (!json.is_object() || !json.contains("error") || !json["error"].is_object())
    return QString::fromUtf8(body.left(200)).simplified();
  const nlohmann::json& error = json["error"];
  const auto text = [&](const char* name) {
    return error.contains(name) && error[name].is_string() ? QString::fromStdString(error[name].get<std::string>())
                                                           : QString();
  };
  return (text("code") + QStringLiteral(": ") + text("message")).simplified();
}

namespace {

QString failureText(const HttpReply& reply) {
  if (reply.status == 0) return QStringLiteral("sendMail failed: ") + reply.failure;
  return QStringLiteral("sendMail failed: HTTP %1 %2").arg(reply.status).arg(graphError(reply.body));
}

bool asksToWait(const HttpReply& reply) { return reply.status == kTooManyRequests || reply.status == kUnavailable; }

// What Retry-After asks, at least a second and no less than the last wait:
// a service that answers at once with 0 must not be asked in a tight loop.
qint64 nextWait(const HttpReply& reply, qint64 lastWait) {
  return std::max({reply.retryAfterSeconds, qint64(1), lastWait});
}

}  // namespace

bool isGraphServer(const QString& server) { return server.startsWith(QLatin1String(kGraphPrefix)); }

QString graphBase(const QString& server) {
  QString base = server.mid(int(qstrlen(kGraphPrefix))).trimmed();
  if (base.isEmpty()) base = QStringLiteral("https://graph.microsoft.com");
  while (base.endsWith(u'/')) base.chop(1);
  return base;
}

QString graphServerProblem(const QString& server) {
  const QUrl url(graphBase(server));
  if (url.isValid() && url.scheme() == QStringLiteral("https") && !url.host().isEmpty()) return {};
  return QStringLiteral("sysSMTPServer %1 names no https URL after graph:").arg(server);
}

GraphTransport::GraphTransport(const QString& server, std::shared_ptr<TokenCache> tokens, StopCheck stop)
    : m_base(graphBase(server)),
      m_problem(graphServerProblem(server)),
      m_tokens(std::move(tokens)),
      m_stop(stop),
      m_client(kGraphRequestTimeoutSeconds, std::move(stop), StopPoint::BeforeSending) {}

// Trapped here: a token that cannot be had is the send's outcome.
SendResult GraphTransport::deliver(const QString& from, const QByteArray& mime) {
  if (!m_problem.isEmpty()) return SendResult::permanent(0, m_problem);
  const QString url = m_base + QStringLiteral("/v1.0/users/") + QString::fromLatin1(QUrl::toPercentEncoding(from)) +
                      QStringLiteral("/sendMail");
  try {
    return post(url, mime.toBase64());
  } catch (const TokenUnavailableError& error) {
    if (stopAsked(m_stop)) return SendResult::stopped();
    return SendResult::temporary(0, error.description()).reaching(SendResult::Reach::Session);
  } catch (const Error& error) {
    return SendResult::stopping(0, error.description());
  }
}

SendResult GraphTransport::post(const QString& url, const QByteArray& body) {
  TokenCache::Token token = m_tokens->token();
  bool renewed = false;
  qint64 lastWait = 0;
  qint64 waited = 0;
  for (int tries = 1;; ++tries) {
    if (stopAsked(m_stop)) return SendResult::stopped();
    const HttpReply reply =
        m_client.post(url, {"Content-Type: text/plain", "Authorization: Bearer " + token.value}, body);
    if (reply.stopped) return SendResult::stopped();
    if (tries >= kMostTries) return outcome(reply, tries);
    if (reply.status == kUnauthorized && !renewed) {
      renewed = true;
      token = m_tokens->renewed(token.value);
      continue;
    }
    if (!asksToWait(reply)) return outcome(reply, tries);
    const qint64 wait = nextWait(reply, lastWait);
    if (wait > kLongestWaitSeconds)
      return SendResult::paused(int(reply.status),
                                failureText(reply) + QStringLiteral(" (asks to wait %1 s)").arg(wait), wait);
    if (waited + wait > kWaitBudgetSeconds) return outcome(reply, tries);
    if (!waitUnlessStopped(std::chrono::seconds(wait), m_stop)) return SendResult::stopped();
    waited += wait;
    lastWait = wait;
  }
}

SendResult GraphTransport::outcome(const HttpReply& reply, int tries) const {
  if (reply.status == kAccepted)
    return SendResult::sent(int(reply.status), reply.requestId.isEmpty() ? QStringLiteral("202 Accepted")
                                                                         : QStringLiteral("202 Accepted, request-id ") +
                                                                               QString::fromLatin1(reply.requestId));
  const QString text = failureText(reply);
  if (asksToWait(reply))
    return SendResult::temporary(int(reply.status), text + QStringLiteral(" (%1 tries)").arg(tries));
  // The URL names nothing but the sender's mailbox, so these concern the
  // mailbox or the application's rights.
  if (reply.status == kUnauthorized || reply.status == kForbidden || reply.status == kNotFound)
    return SendResult::stopping(int(reply.status), text);
  if (reply.status == 0 || reply.status >= 500 || reply.status == kTimeout)
    return SendResult::temporary(int(reply.status), text);
  return SendResult::permanent(int(reply.status), text);
}

}  // namespace corvex
