#include "oauth/token_cache.h"

#include <algorithm>

namespace corvex {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::seconds;

// A token is renewed this long before it expires (half its life when it is
// short), so none runs out in the middle of a message.
constexpr qint64 kRenewBeforeExpirySeconds = 300;
// Without expires_in, a token is taken to live this long.
constexpr qint64 kAssumedLifetimeSeconds = 3600;
constexpr auto kFailureKept = seconds(30);

Clock::time_point renewTime(qint64 lifetimeSeconds) {
  const qint64 lifetime = lifetimeSeconds > 0 ? lifetimeSeconds : kAssumedLifetimeSeconds;
  return Clock::now() + seconds(lifetime - std::min(kRenewBeforeExpirySeconds, lifetime / 2));
}

}  // namespace

TokenCache::TokenCache(Fetch fetch) : m_fetch(std::move(fetch)) {}

TokenCache::Token TokenCache::token() {
  std::unique_lock lock(m_mutex);
  return obtain(lock, true);
}

TokenCache::Token TokenCache::renewed(const QByteArray& refused) {
  std::unique_lock lock(m_mutex);
  // Nobody is handed the refused one again.
  if (m_value == refused) m_value.clear();
  return obtain(lock, false);
}

bool TokenCache::fresh() const { return !m_value.isEmpty() && Clock::now() < m_renewAt; }

// A token another thread fetched while this one waited is as new as one
// fetched here.
TokenCache::Token TokenCache::obtain(std::unique_lock<std::mutex>& lock, bool kept) {
  for (;;) {
    if (fresh()) return Token{m_value, kept};
    if (!m_fetching) break;
    m_fetched.wait(lock);
    kept = false;
  }
  if (m_failure && Clock::now() - m_failedAt < kFailureKept) std::rethrow_exception(m_failure);
  return fetch(lock);
}

// Caller holds `lock`; it is let go while the endpoint answers.
TokenCache::Token TokenCache::fetch(std::unique_lock<std::mutex>& lock) {
  m_fetching = true;
  lock.unlock();
  AccessToken fetched;
  std::exception_ptr failure;
  try {
    fetched = m_fetch();
  } catch (...) {
    failure = std::current_exception();
  }
  lock.lock();
  m_fetching = false;
  m_value = fetched.value;
  m_failure = failure;
  m_failedAt = Clock::now();
  if (!failure) m_renewAt = renewTime(fetched.lifetimeSeconds);
  m_fetched.notify_all();
  if (failure) std::rethrow_exception(failure);
  return Token{m_value, false};
}

}  // namespace corvex
