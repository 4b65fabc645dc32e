#include "mail/graph_transport.h"

#include "base/error.h"

#include <nlohmann/json.hpp>

#include <QUrl>

#include <chrono>
#include <thread>

namespace corvex {

namespace {

constexpr long kAccepted = 202;
constexpr long kUnauthorized = 401;
constexpr long kTooManyRequests = 429;
constexpr long kUnavailable = 503;
constexpr long kTimeout = 408;

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

bool asksToWait(const HttpReply& reply) {
  return (reply.status == kTooManyRequests || reply.status == kUnavailable) && reply.retryAfterSeconds >= 0;
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

GraphTransport::GraphTransport(const QString& server, std::shared_ptr<TokenCache> tokens, long waitLimitSeconds)
    : m_base(graphBase(server)),
      m_problem(graphServerProblem(server)),
      m_tokens(std::move(tokens)),
      m_waitLimitSeconds(waitLimitSeconds) {}

// Trapped here: a token that cannot be had stops the run's sending.
SendResult GraphTransport::deliver(const QString& from, const QByteArray& mime) {
  if (!m_problem.isEmpty()) return SendResult::permanent(0, m_problem);
  const QString url = m_base + QStringLiteral("/v1.0/users/") + QString::fromLatin1(QUrl::toPercentEncoding(from)) +
                      QStringLiteral("/sendMail");
  const QByteArray body = mime.toBase64();
  try {
    TokenCache::Token token = m_tokens->token();
    bool renewed = false;
    long waited = 0;
    for (;;) {
      const HttpReply reply =
          m_client.post(url, {"Content-Type: text/plain", "Authorization: Bearer " + token.value}, body);
      if (reply.status == kUnauthorized && !renewed) {
        renewed = true;
        token = m_tokens->renewed(token.value);
      } else if (asksToWait(reply) && waited + reply.retryAfterSeconds <= m_waitLimitSeconds) {
        std::this_thread::sleep_for(std::chrono::seconds(reply.retryAfterSeconds));
        waited += long(reply.retryAfterSeconds);
      } else {
        return outcome(reply);
      }
    }
  } catch (const Error& error) {
    return SendResult::stopping(0, error.description());
  }
}

SendResult GraphTransport::outcome(const HttpReply& reply) const {
  if (reply.status == kAccepted)
    return SendResult::sent(int(reply.status), reply.requestId.isEmpty() ? QStringLiteral("202 Accepted")
                                                                         : QStringLiteral("202 Accepted, request-id ") +
                                                                               QString::fromLatin1(reply.requestId));
  const QString text = failureText(reply);
  if (asksToWait(reply))
    return SendResult::stopping(int(reply.status),
                                text + QStringLiteral(" (asks to wait %1 s)").arg(reply.retryAfterSeconds));
  if (reply.status == kUnauthorized) return SendResult::stopping(int(reply.status), text);
  if (reply.status == 0 || reply.status >= 500 || reply.status == kTimeout || reply.status == kTooManyRequests)
    return SendResult::temporary(int(reply.status), text);
  return SendResult::permanent(int(reply.status), text);
}

}  // namespace corvex
