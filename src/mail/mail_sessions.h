#pragma once

#include "base/clock.h"
#include "base/stop_check.h"
#include "mail/message_sender.h"
#include "mail/send_gate.h"
#include "mail/send_result.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace corvex {

/// Several sessions with the mail server working side by side, each with a
/// sender of its own (see MailSender) on a thread of its own. Messages wait
/// in one queue, in the order they were submitted; a free session takes the
/// next, and may take the one after it too, to send its envelope ahead (see
/// SmtpTransport), so each session has at most one message out without an
/// answer. Outcomes come back in the order the answers arrived, and a session
/// starts its next message only once the owner settled its last outcome
/// (marked the document), so that a run ending early finds at most one sent
/// but unsettled message per session.
///
/// The first session tries the server alone; the others join once it
/// answered a message, so a refused login costs one attempt per run. A
/// session the server does not open (a 421 for one connection too many)
/// while another one works leaves its messages to the others and rests
/// until the next run; only when none works does its failure count. While
/// none works, the first session that does not rest is the one that tries
/// alone, so that while a message is queued and sending has not stopped,
/// some live session may always take it.
///
/// A stop request (`stop`) ends the waits of the senders before a message's
/// data (those messages come back not tried), and next() halts the sessions
/// when it sees one, so the messages queued come back not tried at once.
///
/// The gate (see SendGate) is kept here, where the answers arrive: each
/// outcome is recorded in arrival order, and once it closes for a failure,
/// the messages queued or taken ahead come back as not tried, and so does
/// one submitted later, unless submitted `evenIfStopped`.
///
/// Everything but the session threads runs on the owner's thread. The
/// threads start with the first submit() and end, each closing its session
/// with QUIT, in finish() or the destructor.
class MailSessions {
 public:
  struct Outcome {
    int ticket = 0;
    SendResult result = SendResult::temporary(0, QString());
    /// False for a message that never went out because sending stopped.
    bool tried = true;
    /// What the transport raised (it could not be set up).
    std::exception_ptr failure;
  };

  /// `makeSender` is called once per session, on the owner's thread.
  /// `clock` must outlive this object.
  MailSessions(int sessions, int messagesPerMinute, const Clock& clock,
               std::function<std::unique_ptr<MessageSender>()> makeSender, StopCheck stop = {});
  ~MailSessions();
  MailSessions(const MailSessions&) = delete;
  MailSessions& operator=(const MailSessions&) = delete;

  int sessions() const { return int(m_senders.size()); }
  /// Queues `mail`; its outcome comes back from next() with `ticket`.
  void submit(int ticket, PreparedMail mail, bool evenIfStopped = false);
  /// Messages submitted whose outcome next() has not returned yet.
  int outstanding() const { return m_outstanding; }
  /// Waits for the next outcome; outstanding() must not be 0. Halts (see
  /// halt()) once a stop is requested meanwhile.
  Outcome next();
  /// Whether next() would return at once.
  bool hasOutcome();
  /// The owner did what the outcome of `ticket` asked for: the session that
  /// sent it may go on.
  void settle(int ticket);
  /// Until the next run, no message starts: those queued or waiting come back
  /// as not tried; those under way finish.
  void halt();

  /// A new run: a stop of the previous run no longer holds.
  void beginRun();
  /// Whether no more messages may start at `now`; why, when it was a failure.
  bool isClosed(const QDateTime& now);
  QString stopReason();
  /// Whether that failure was a refused login or a pause.
  bool waitsForAccount();
  /// Why the last session that rested did (its failure to open), once; empty
  /// when none rested since the last call.
  QString takeRestingReason();
  /// Waits for every session to go idle, then ends their threads, each
  /// closing its session with QUIT. Outcomes not collected are dropped, so
  /// outstanding() must be 0 for none to be lost.
  void finish();

 private:
  struct Job {
    int ticket;
    PreparedMail mail;
  };

  void start();
  void work(std::size_t session);
  std::optional<Job> take(std::size_t session, std::optional<Job>& held);
  bool mayStart() const;
  bool mayTake(std::size_t session) const;
  Outcome attempt(std::size_t session, int ticket, const PreparedMail& mail, const std::optional<Job>& next);
  bool retire(std::size_t session, const Outcome& outcome);
  void giveBack(Job job, std::optional<Job> next);
  void post(std::size_t session, Outcome outcome);
  void dropQueued();
  void haltLocked();

  const Clock& m_clock;
  StopCheck m_stop;
  std::vector<std::unique_ptr<MessageSender>> m_senders;
  std::vector<std::thread> m_threads;
  int m_outstanding = 0;

  std::mutex m_mutex;  // guards everything below
  std::condition_variable m_work;
  std::condition_variable m_done;
  std::deque<Job> m_queue;
  std::deque<Outcome> m_outcomes;
  SendGate m_gate;
  /// Per session: the ticket of its outcome the owner has not settled yet.
  std::vector<std::optional<int>> m_unsettled;
  /// Per session, in this run: the server answered one of its messages.
  std::vector<bool> m_working;
  /// Per session, in this run: it could not be opened while others worked.
  std::vector<bool> m_retired;
  QString m_resting;
  bool m_halted = false;
  bool m_ending = false;
};

}  // namespace corvex
