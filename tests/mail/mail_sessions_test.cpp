// The sessions' scheduler under every order of session-open failures, with
// a scripted server: each session's sender answers from its own script, and
// the test decides which session takes a message by settling only that
// session's last outcome (a session waits for its settle before it takes
// another). The rule that must hold: while a message is queued and sending
// has not stopped, some live session takes it, or it comes back not tried.
#include "mail/mail_sessions.h"

#include "support/fixed_clock.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QThread>

#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <vector>

namespace corvex {
namespace {

enum class Fault { Greeting421, Reset, Greeting554, LoginRefused };

const char* name(Fault fault) {
  switch (fault) {
    case Fault::Greeting421:
      return "Greeting421";
    case Fault::Reset:
      return "Reset";
    case Fault::Greeting554:
      return "Greeting554";
    case Fault::LoginRefused:
      return "LoginRefused";
  }
  return "";
}

SendResult answerFor(Fault fault) {
  using Reach = SendResult::Reach;
  switch (fault) {
    case Fault::Greeting421:
      return SendResult::temporary(421, QStringLiteral("greeting failed: 421 4.7.0 Too many")).reaching(Reach::Session);
    case Fault::Reset:
      return SendResult::temporary(0, QStringLiteral("Connection reset by peer")).reaching(Reach::Session);
    case Fault::Greeting554:
      return SendResult::permanent(554, QStringLiteral("greeting failed: 554 5.7.1 No")).reaching(Reach::Session);
    case Fault::LoginRefused:
      return SendResult::permanent(535, QStringLiteral("login as ana refused: 535")).reaching(Reach::Account);
  }
  return SendResult::sent();
}

// What every session's sender answers and what it was asked; shared by
// the senders' threads and the test's.
struct Server {
  std::mutex mutex;
  std::vector<std::deque<SendResult>> scripts;
  std::map<int, int> sessionOf;  ///< ticket -> the session that sent it
  std::vector<bool> closed;

  SendResult answer(int session, int ticket) {
    const std::lock_guard lock(mutex);
    sessionOf[ticket] = session;
    std::deque<SendResult>& script = scripts[std::size_t(session)];
    if (script.empty()) return SendResult::sent(250, QStringLiteral("250 OK"));
    const SendResult result = script.front();
    script.pop_front();
    return result;
  }
  int session(int ticket) {
    const std::lock_guard lock(mutex);
    return sessionOf.count(ticket) ? sessionOf[ticket] : -1;
  }
  bool isClosed(int session) {
    const std::lock_guard lock(mutex);
    return closed[std::size_t(session)];
  }
};

class ScriptedSender : public MessageSender {
 public:
  ScriptedSender(Server& server, int session) : m_server(server), m_session(session) {}
  SendResult send(const PreparedMail& mail, const PreparedMail*) override {
    return m_server.answer(m_session, mail.name.toInt());
  }
  void close() override {
    const std::lock_guard lock(m_server.mutex);
    m_server.closed[std::size_t(m_session)] = true;
  }

 private:
  Server& m_server;
  int m_session;
};

// In-process waits: short, and bounded, so a hang fails the case instead
// of the whole test program.
bool within(const std::function<bool()>& done) {
  const QDeadlineTimer deadline(10000);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QThread::usleep(200);
  }
  return true;
}

struct FailureCase {
  int sessions;
  int first;  ///< the session that fails first, with `faults[0]`
  int second;
  Fault faults[2];
};

std::string caseName(const FailureCase& c) {
  return std::to_string(c.sessions) + "Sessions" + name(c.faults[0]) + "On" + std::to_string(c.first) + "Then" +
         name(c.faults[1]) + "On" + std::to_string(c.second);
}

std::vector<FailureCase> everyOrder() {
  const Fault faults[] = {Fault::Greeting421, Fault::Reset, Fault::Greeting554, Fault::LoginRefused};
  std::vector<FailureCase> cases;
  for (int sessions = 1; sessions <= 4; ++sessions)
    for (int first = 0; first < sessions; ++first)
      for (int second = 0; second < sessions; ++second)
        for (Fault a : faults)
          for (Fault b : faults)
            if (first != second || sessions == 1) cases.push_back(FailureCase{sessions, first, second, {a, b}});
  return cases;
}

// One case's server, sessions and tickets.
class SessionsRig {
 public:
  std::unique_ptr<MailSessions> start(int sessions) {
    server.scripts.resize(std::size_t(sessions));
    server.closed.resize(std::size_t(sessions));
    int made = 0;
    return std::make_unique<MailSessions>(sessions, 0, clock,
                                          [this, &made] { return std::make_unique<ScriptedSender>(server, made++); });
  }

  void submit(MailSessions& mail) {
    const int ticket = ++lastTicket;
    mail.submit(ticket, PreparedMail{{}, {}, QString::number(ticket), {}, {}, {}});
    submitted.insert(ticket);
  }

  // The next outcome, or none when none came within the bound: a hang.
  std::optional<MailSessions::Outcome> next(MailSessions& mail) {
    if (!within([&] { return mail.hasOutcome(); })) return std::nullopt;
    MailSessions::Outcome outcome = mail.next();
    EXPECT_TRUE(returned.insert(outcome.ticket).second) << "ticket " << outcome.ticket << " came back twice";
    return outcome;
  }

  void run(const FailureCase& c);

  Server server;
  test::FixedClock clock{test::localTime(2026, 12, 7, 8, 0)};
  int lastTicket = 0;
  std::set<int> submitted;
  std::set<int> returned;
};

void SessionsRig::run(const FailureCase& c) {
  std::unique_ptr<MailSessions> mail = start(c.sessions);
  const int targets[] = {c.first, c.second};
  for (int i = 0; i < 2; ++i) server.scripts[std::size_t(targets[i])].push_back(answerFor(c.faults[i]));
  for (int session = 0; session < c.sessions; ++session)
    server.scripts[std::size_t(session)].push_front(SendResult::sent());
  mail->beginRun();

  // Every session sends one message and keeps it unsettled: each then waits.
  std::map<int, int> parked;  // session -> ticket not settled
  for (int i = 0; i < c.sessions; ++i) {
    submit(*mail);
    const std::optional<MailSessions::Outcome> outcome = next(*mail);
    ASSERT_TRUE(outcome) << "no session took message " << lastTicket;
    parked[server.session(outcome->ticket)] = outcome->ticket;
  }
  // Each failure in turn, on the one session let go; a session that rests
  // hands its message back to the queue, for the next one let go.
  bool queued = false;
  for (int target : targets) {
    if (server.isClosed(target)) continue;
    if (parked.count(target)) mail->settle(parked[target]);
    parked.erase(target);
    if (!queued) submit(*mail);
    const bool answered = within([&] { return mail->hasOutcome() || server.isClosed(target); });
    ASSERT_TRUE(answered) << "session " << target << " took nothing";
    queued = !mail->hasOutcome();
    if (!queued) parked[target] = next(*mail)->ticket;
  }
  // Then the owner settles as it goes, and messages keep coming.
  for (const auto& [session, ticket] : parked) mail->settle(ticket);
  for (int i = 0; i < 3; ++i) submit(*mail);
  while (returned.size() < submitted.size()) {
    const std::optional<MailSessions::Outcome> outcome = next(*mail);
    ASSERT_TRUE(outcome) << "hang: " << submitted.size() - returned.size() << " messages neither taken nor given back";
    mail->settle(outcome->ticket);
    EXPECT_TRUE(outcome->tried || mail->isClosed(clock.now())) << "not tried while sending goes on";
  }
  mail->finish();
}

// 336 cases in one test: each takes a millisecond, a process of its own
// would take a hundred times more.
TEST(MailSessionsTest, AQueuedMessageIsAlwaysTakenOrComesBackNotTriedInEveryOrder) {
  for (const FailureCase& c : everyOrder()) {
    SCOPED_TRACE(caseName(c));
    SessionsRig().run(c);
  }
}

// A sender whose wait a stop ends (as a connect or a login does).
class StoppableSender : public MessageSender {
 public:
  explicit StoppableSender(std::atomic<bool>& stop, std::atomic<int>& calls) : m_stop(stop), m_calls(calls) {}
  SendResult send(const PreparedMail&, const PreparedMail*) override {
    ++m_calls;
    within([this] { return m_stop.load(); });
    return SendResult::stopped();
  }
  void close() override {}

 private:
  std::atomic<bool>& m_stop;
  std::atomic<int>& m_calls;
};

// The owner waiting for an outcome sees the stop: the message under way and
// those queued come back not tried, and none of those queued starts.
TEST(MailSessionsStopTest, AStopGivesEveryMessageBackNotTried) {
  std::atomic<bool> stop = false;
  std::atomic<int> calls = 0;
  test::FixedClock clock(test::localTime(2026, 12, 7, 8, 0));
  MailSessions mail(
      1, 0, clock, [&] { return std::make_unique<StoppableSender>(stop, calls); }, [&] { return stop.load(); });
  mail.beginRun();
  for (int ticket = 1; ticket <= 3; ++ticket)
    mail.submit(ticket, PreparedMail{{}, {}, QString::number(ticket), {}, {}, {}});
  ASSERT_TRUE(within([&] { return calls.load() == 1; }));
  stop = true;
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(mail.next().tried);
  EXPECT_EQ(calls.load(), 1);
  mail.finish();
}

}  // namespace
}  // namespace corvex
