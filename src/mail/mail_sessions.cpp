#include "mail/mail_sessions.h"

#include <algorithm>
#include <utility>

namespace corvex {

namespace {

const QString kNotSent = QStringLiteral("not sent: sending stopped");

}  // namespace

MailSessions::MailSessions(int sessions, int messagesPerMinute, const Clock& clock,
                           std::function<std::unique_ptr<MessageSender>()> makeSender, StopCheck stop)
    : m_clock(clock), m_stop(std::move(stop)), m_gate(messagesPerMinute) {
  for (int i = 0; i < std::max(1, sessions); ++i) m_senders.push_back(makeSender());
  m_unsettled.resize(m_senders.size());
  m_working.resize(m_senders.size());
  m_retired.resize(m_senders.size());
}

MailSessions::~MailSessions() { finish(); }

void MailSessions::start() {
  if (!m_threads.empty()) return;
  std::fill(m_working.begin(), m_working.end(), false);
  std::fill(m_retired.begin(), m_retired.end(), false);
  for (std::size_t session = 0; session < m_senders.size(); ++session)
    m_threads.emplace_back([this, session] { work(session); });
}

void MailSessions::submit(int ticket, PreparedMail mail, bool evenIfStopped) {
  start();
  {
    const std::lock_guard lock(m_mutex);
    ++m_outstanding;
    if (!evenIfStopped && (m_halted || !m_gate.reason().isEmpty())) {
      m_outcomes.push_back(Outcome{ticket, SendResult::temporary(0, kNotSent), false, nullptr});
      return;
    }
    // Counted when handed over, so a run that asks isClosed() before each
    // mail never exceeds the per-minute budget with mails still queued.
    m_gate.started(m_clock.now());
    m_queue.push_back(Job{ticket, std::move(mail)});
  }
  // Every session: they wait on different conditions, and the one woken alone
  // might be one that may not take yet, leaving the first asleep.
  m_work.notify_all();
}

// With a stop to ask, the wait wakes to ask it; the outcomes of messages
// under way still come (their senders' waits end on the same stop), those
// queued come back not tried.
MailSessions::Outcome MailSessions::next() {
  std::unique_lock lock(m_mutex);
  while (m_outcomes.empty()) {
    if (!m_stop) {
      m_done.wait(lock);
    } else if (!m_done.wait_for(lock, kStopPollInterval, [this] { return !m_outcomes.empty(); }) && m_stop() &&
               !m_halted) {
      haltLocked();
    }
  }
  Outcome outcome = std::move(m_outcomes.front());
  m_outcomes.pop_front();
  lock.unlock();
  --m_outstanding;
  return outcome;
}

bool MailSessions::hasOutcome() {
  const std::lock_guard lock(m_mutex);
  return !m_outcomes.empty();
}

void MailSessions::settle(int ticket) {
  {
    const std::lock_guard lock(m_mutex);
    for (std::optional<int>& unsettled : m_unsettled)
      if (unsettled == ticket) unsettled.reset();
  }
  m_work.notify_all();
}

void MailSessions::halt() {
  const std::lock_guard lock(m_mutex);
  haltLocked();
}

// Caller holds the lock.
void MailSessions::haltLocked() {
  m_halted = true;
  dropQueued();
  m_work.notify_all();
  m_done.notify_all();
}

void MailSessions::beginRun() {
  const std::lock_guard lock(m_mutex);
  m_gate.beginRun();
  m_halted = false;
}

bool MailSessions::isClosed(const QDateTime& now) {
  const std::lock_guard lock(m_mutex);
  return m_gate.isClosed(now);
}

QString MailSessions::stopReason() {
  const std::lock_guard lock(m_mutex);
  return m_gate.reason();
}

bool MailSessions::waitsForAccount() {
  const std::lock_guard lock(m_mutex);
  return m_gate.closedForAccount();
}

void MailSessions::finish() {
  if (m_threads.empty()) return;
  {
    const std::lock_guard lock(m_mutex);
    m_ending = true;
    dropQueued();
  }
  m_work.notify_all();
  for (std::thread& thread : m_threads) thread.join();
  m_threads.clear();
  const std::lock_guard lock(m_mutex);
  m_outcomes.clear();
  std::fill(m_unsettled.begin(), m_unsettled.end(), std::nullopt);
  m_outstanding = 0;
  m_ending = false;
}

// Runs on a session's own thread until finish().
void MailSessions::work(std::size_t session) {
  MessageSender& sender = *m_senders[session];
  std::optional<Job> held;
  while (const std::optional<Job> job = take(session, held)) {
    std::optional<Job> next;
    {
      const std::lock_guard lock(m_mutex);
      if (!m_queue.empty()) {
        next = std::move(m_queue.front());
        m_queue.pop_front();
      }
    }
    Outcome outcome = attempt(session, job->ticket, job->mail, next);
    if (retire(session, outcome)) {
      giveBack(*job, next);
      break;
    }
    post(session, std::move(outcome));
    held = std::move(next);
  }
  sender.close();
}

// Caller holds the lock.
bool MailSessions::mayStart() const { return !m_ending && !m_halted && m_gate.reason().isEmpty(); }

// Caller holds the lock. The first session that does not rest tries the
// server alone: a refused login then costs one attempt, not one per session.
// A resting session's thread has ended, so the first of those left is one
// that lives: a queued message always has a session that may take it.
bool MailSessions::mayTake(std::size_t session) const {
  if (std::find(m_working.begin(), m_working.end(), true) != m_working.end()) return true;
  return session == std::size_t(std::find(m_retired.begin(), m_retired.end(), false) - m_retired.begin());
}

// A session the server would not open (a 421 for one connection too many,
// say) while another one works leaves its message to the others and ends
// for this run; only the last one's failure counts for the run.
bool MailSessions::retire(std::size_t session, const Outcome& outcome) {
  const std::lock_guard lock(m_mutex);
  const SendResult& result = outcome.result;
  if (!outcome.failure && result.reach() == SendResult::Reach::Message && (result.isSent() || result.replyCode() != 0))
    m_working[session] = true;
  if (outcome.failure || result.reach() != SendResult::Reach::Session) return false;
  m_working[session] = false;
  for (std::size_t other = 0; other < m_working.size(); ++other) {
    if (other != session && m_working[other] && !m_retired[other]) {
      m_retired[session] = true;
      m_resting = result.text();
      return true;
    }
  }
  return false;
}

QString MailSessions::takeRestingReason() {
  const std::lock_guard lock(m_mutex);
  return std::exchange(m_resting, QString());
}

// Nothing of either went out: they go first again, or come back as not
// tried once sending stopped.
void MailSessions::giveBack(Job job, std::optional<Job> next) {
  {
    const std::lock_guard lock(m_mutex);
    if (next) m_queue.push_front(std::move(*next));
    m_queue.push_front(std::move(job));
    if (!mayStart()) dropQueued();
  }
  m_work.notify_all();
  m_done.notify_all();
}

// The next message this session may start, once its last outcome is
// settled: the one it took ahead, else the first queued. One taken ahead
// when sending stopped comes back as not tried (those still queued then
// already did). Empty once the sessions end.
std::optional<MailSessions::Job> MailSessions::take(std::size_t session, std::optional<Job>& held) {
  std::unique_lock lock(m_mutex);
  m_work.wait(lock, [&] { return !m_unsettled[session] || !mayStart(); });
  if (held && !mayStart()) {
    m_outcomes.push_back(Outcome{held->ticket, SendResult::temporary(0, kNotSent), false, nullptr});
    held.reset();
    m_done.notify_all();
  }
  if (held) return std::exchange(held, std::nullopt);
  m_work.wait(lock, [&] { return m_ending || (!m_queue.empty() && mayTake(session)); });
  if (m_queue.empty()) return std::nullopt;
  Job job = std::move(m_queue.front());
  m_queue.pop_front();
  return job;
}

// Trapped here: what the transport raises belongs to its message's outcome.
MailSessions::Outcome MailSessions::attempt(std::size_t session, int ticket, const PreparedMail& mail,
                                            const std::optional<Job>& next) {
  Outcome outcome{ticket, SendResult::temporary(0, QString()), true, nullptr};
  try {
    outcome.result = m_senders[session]->send(mail, next ? &next->mail : nullptr);
  } catch (...) {
    outcome.failure = std::current_exception();
  }
  return outcome;
}

// A send a stop cut short is no outcome of the server's: the message comes
// back not tried.
void MailSessions::post(std::size_t session, Outcome outcome) {
  {
    const std::lock_guard lock(m_mutex);
    if (!outcome.failure && outcome.result.isStopped()) outcome.tried = false;
    if (!outcome.failure && !outcome.result.isStopped()) m_gate.record(outcome.result);
    m_unsettled[session] = outcome.ticket;
    m_outcomes.push_back(std::move(outcome));
    if (!m_gate.reason().isEmpty()) dropQueued();
  }
  // Sessions waiting for the first one to work may now go, or end.
  m_work.notify_all();
  m_done.notify_all();
}

// Caller holds the lock.
void MailSessions::dropQueued() {
  for (const Job& job : m_queue)
    m_outcomes.push_back(Outcome{job.ticket, SendResult::temporary(0, kNotSent), false, nullptr});
  m_queue.clear();
}

}  // namespace corvex
