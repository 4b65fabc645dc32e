#pragma once

#include "oauth/token_request.h"

#include <QByteArray>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>

namespace corvex {

/// One access token shared by every session of the program: fetched when
/// first asked for, then kept until shortly before it expires, so a run asks
/// the endpoint once, not once per message. A failed request is kept for a
/// short while too, so that sessions working side by side do not each ask
/// an endpoint that just refused.
///
/// Safe to use from several threads. One request runs at a time, outside
/// the lock: those who need a token meanwhile wait for its answer, while a
/// token still fresh is handed out at once. The request's own waits end on a
/// stop request (`fetch` binds it), and so then do theirs.
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
  Token obtain(std::unique_lock<std::mutex>& lock, bool kept);
  Token fetch(std::unique_lock<std::mutex>& lock);
  bool fresh() const;

  Fetch m_fetch;
  std::mutex m_mutex;  // guards everything below
  std::condition_variable m_fetched;
  bool m_fetching = false;
  QByteArray m_value;
  std::chrono::steady_clock::time_point m_renewAt;
  std::exception_ptr m_failure;
  std::chrono::steady_clock::time_point m_failedAt;
};

}  // namespace corvex
