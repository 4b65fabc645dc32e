#include "mail/bounce_watch.h"

namespace corvex {

namespace {

BounceParts stoppable(BounceParts parts, const std::atomic<bool>& ending) {
  parts.stopRequested = [stop = std::move(parts.stopRequested), &ending] { return ending || stop(); };
  return parts;
}

}  // namespace

BounceWatch::BounceWatch(BounceParts parts)
    : m_parts(stoppable(std::move(parts), m_ending)),
      m_reader(std::make_unique<BounceReader>(m_parts)),
      m_lastStart(readBounceState(m_parts.folder).lastRead) {}

BounceWatch::~BounceWatch() {
  m_ending = true;
  wait();
}

void BounceWatch::startIfDue() {
  if (m_parts.settings.Bounces.Mailbox.isEmpty() || m_reading) return;
  const QDateTime now = m_parts.clock.now();
  if (m_lastStart.isValid() && m_lastStart.secsTo(now) < kIntervalSeconds && m_lastStart <= now) return;
  wait();
  m_lastStart = now;
  m_reading = true;
  // Trapped here: nothing may leave a thread; the reader traps its own
  // errors, this catches only what no one foresaw.
  m_thread = std::thread([this] {
    try {
      m_reader->read();
    } catch (const std::exception& error) {
      m_parts.log.WriteLog(QStringLiteral("Corvex=> Reading bounces failed: ") + QString::fromUtf8(error.what()));
    }
    m_reading = false;
  });
}

void BounceWatch::wait() {
  if (m_thread.joinable()) m_thread.join();
}

}  // namespace corvex
