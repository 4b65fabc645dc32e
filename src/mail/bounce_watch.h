#pragma once

#include "mail/bounce_reader.h"

#include <QDateTime>

#include <atomic>
#include <memory>
#include <thread>

namespace corvex {

/// Reads the bounce mailbox (see BounceReader) on a thread of its own, so
/// that reading never delays or stops mailing: at most every 15 minutes,
/// counted across restarts from the last read's start (see BounceState).
/// Does nothing without main.ini's [Bounces] Mailbox.
///
/// Used from one thread (the run's). The read under way ends at the next
/// message once a stop is asked for, and every wait in it is bounded.
class BounceWatch {
 public:
  static constexpr qint64 kIntervalSeconds = 15 * 60;

  explicit BounceWatch(BounceParts parts);
  /// Asks the read under way to end, and waits for it.
  ~BounceWatch();
  BounceWatch(const BounceWatch&) = delete;
  BounceWatch& operator=(const BounceWatch&) = delete;

  /// Starts a read when one is due and none is under way; never waits.
  void startIfDue();
  /// Waits for the read under way to end, if there is one.
  void wait();

 private:
  std::atomic<bool> m_ending{false};
  std::atomic<bool> m_reading{false};
  BounceParts m_parts;
  std::unique_ptr<BounceReader> m_reader;
  QDateTime m_lastStart;
  std::thread m_thread;
};

}  // namespace corvex
