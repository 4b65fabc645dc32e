#include "db/session_pool.h"

#include "db/odbc_session.h"

namespace corvex {

SessionPool::SessionPool() = default;
SessionPool::~SessionPool() = default;

std::unique_ptr<OdbcSession> SessionPool::take(const QString& connectString) {
  for (auto it = m_idle.begin(); it != m_idle.end(); ++it) {
    if ((*it)->connectString() != connectString) continue;
    std::unique_ptr<OdbcSession> session = std::move(*it);
    m_idle.erase(it);
    return session;
  }
  return nullptr;
}

void SessionPool::giveBack(std::unique_ptr<OdbcSession> session) {
  if (session && !session->isDead()) m_idle.push_back(std::move(session));
}

}  // namespace corvex
