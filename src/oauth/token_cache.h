#pragma once

#include "oauth/token_request.h"

#include <QByteArray>

#include <chrono>
#include <exception>
#include <functional>
#include <mutex>

namespace corvex {

/// One access token shared by every session of the program: fetched when
/// first asked for, then kept until shortly before it expires, so a run asks
/// the endpoint once, not once per message. A failed request is kept for a
/// short while too, so that sessions working side by side do not each ask
/// an endpoint that just refused. Safe to use from several threads.
class TokenCache {
 public:
  using Fetch = std::function<AccessToken()>;

  /// `fetch` asks the endpoint (see requestToken()); what it raises, token()
  /// and renewed() raise.
  explicit TokenCache(Fetch fetch);

  struct Token {
    QByteArray value;
    /// Fetched before this call: a refusal may mean it was revoked, so a
    /// new one is worth one more try.
    bool kept = false;
  };
  /// The kept token, or a new one.
  Token token();
  /// A new token in place of `refused`, unless another thread already
  /// replaced it.
  Token renewed(const QByteArray& refused);

 private:
  Token fetchLocked();

  Fetch m_fetch;
  std::mutex m_mutex;  // guards everything below
  QByteArray m_value;
  std::chrono::steady_clock::time_point m_renewAt;
  std::exception_ptr m_failure;
  std::chrono::steady_clock::time_point m_failedAt;
};

}  // namespace corvex
