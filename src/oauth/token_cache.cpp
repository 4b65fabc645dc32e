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
  const std::lock_guard lock(m_mutex);
  if (!m_value.isEmpty() && Clock::now() < m_renewAt) return Token{m_value, true};
  return fetchLocked();
}

TokenCache::Token TokenCache::renewed(const QByteArray& refused) {
  const std::lock_guard lock(m_mutex);
  if (!m_value.isEmpty() && m_value != refused && Clock::now() < m_renewAt) return Token{m_value, false};
  return fetchLocked();
}

// Caller holds the lock.
TokenCache::Token TokenCache::fetchLocked() {
  m_value.clear();
  if (m_failure && Clock::now() - m_failedAt < kFailureKept) std::rethrow_exception(m_failure);
  try {
    const AccessToken fetched = m_fetch();
    m_value = fetched.value;
    m_renewAt = renewTime(fetched.lifetimeSeconds);
    m_failure = nullptr;
  } catch (...) {
    m_failure = std::current_exception();
    m_failedAt = Clock::now();
    throw;
  }
  return Token{m_value, false};
}

}  // namespace corvex
