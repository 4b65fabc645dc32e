#pragma once

#include "mail/send_result.h"

#include <QDateTime>
#include <QString>

#include <deque>

namespace corvex {

/// Decides, message by message within one dispatch run, whether the run may
/// hand another message to the server. It closes for the rest of the run
/// after a refused login (the same account would be refused again) or a
/// service's request to pause (SendResult::stopsSending()), a 421 (the server is shutting the session and wants
/// no more mail for now) or after two temporary failures in a row (the server or the network is in trouble: hammering
/// it helps nobody), and while `messagesPerMinute` messages (0: no limit) went out in the last 60 s. The documents not
/// tried stay pending for a later run.
class SendGate {
 public:
  explicit SendGate(int messagesPerMinute);

  /// A new run: a stop of the previous run no longer holds; the per-minute
  /// count does, since the server counts across runs too.
  void beginRun();
  /// Whether the run must send no more at `now`. The first time it closes
  /// for a failure, reason() says why.
  bool isClosed(const QDateTime& now);
  /// Counts one message handed to the transport at `now`.
  void started(const QDateTime& now);
  /// Counts the outcome of a message; outcomes count in the order they
  /// arrive, whichever session they came from.
  void record(const SendResult& result);
  /// Why the run stopped sending; empty while it has not, or when only the
  /// per-minute budget is used up.
  const QString& reason() const { return m_reason; }
  /// Whether it closed for a refused login or a pause (see
  /// SendResult::stopsSending()).
  bool closedForAccount() const { return m_forAccount; }

 private:
  int m_messagesPerMinute;
  std::deque<QDateTime> m_recentSends;
  int m_temporaryInARow = 0;
  QString m_reason;
  bool m_forAccount = false;
};

}  // namespace corvex
