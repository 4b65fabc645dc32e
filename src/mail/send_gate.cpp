#include "mail/send_gate.h"

#include <algorithm>

namespace corvex {

namespace {

constexpr int kWindowSeconds = 60;
constexpr int kTemporaryFailuresThatStop = 2;

}  // namespace

SendGate::SendGate(int messagesPerMinute) : m_messagesPerMinute(std::max(0, messagesPerMinute)) {}

void SendGate::beginRun() {
  m_temporaryInARow = 0;
  m_reason.clear();
  m_forAccount = false;
}

bool SendGate::isClosed(const QDateTime& now) {
  if (!m_reason.isEmpty()) return true;
  if (m_messagesPerMinute == 0) return false;
  while (!m_recentSends.empty() && m_recentSends.front().secsTo(now) >= kWindowSeconds) m_recentSends.pop_front();
  return static_cast<int>(m_recentSends.size()) >= m_messagesPerMinute;
}

void SendGate::started(const QDateTime& now) {
  if (m_messagesPerMinute > 0) m_recentSends.push_back(now);
}

void SendGate::record(const SendResult& result) {
  m_temporaryInARow = result.isTemporary() ? m_temporaryInARow + 1 : 0;
  // The first reason holds: mails already out may still fail after it.
  if (!m_reason.isEmpty()) return;
  m_forAccount = result.stopsSending();
  if (m_forAccount)
    m_reason = result.text();
  else if (result.isServiceClosing())
    m_reason = QStringLiteral("the server closed the session (421)");
  else if (m_temporaryInARow >= kTemporaryFailuresThatStop)
    m_reason = QStringLiteral("%1 temporary failures in a row").arg(m_temporaryInARow);
}

}  // namespace corvex
