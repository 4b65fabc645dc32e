#include "app/poll_loop.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvex {
namespace {

// A timer on a simulated clock: it ticks when a full interval has passed
// since it was last enabled, the way QTimer::start() restarts the interval.
class SimulatedTimer final : public TickTimer {
 public:
  explicit SimulatedTimer(qint64& nowMs) : m_now(nowMs) {}
  void setEnabled(bool enabled) override {
    m_enabled = enabled;
    m_armedAt = m_now;
  }
  bool isEnabled() const override { return m_enabled; }
  int interval() const override { return PollLoop::kIntervalMs; }
  void setHandler(std::function<void()> handler) override { m_handler = std::move(handler); }

  // Lets simulated time pass in 100 ms steps, ticking as a real timer would.
  void runFor(qint64 ms) {
    for (const qint64 end = m_now + ms; m_now < end;) {
      m_now += 100;
      if (m_enabled && m_now - m_armedAt >= interval()) m_handler();
    }
  }

 private:
  qint64& m_now;
  bool m_enabled = false;
  qint64 m_armedAt = 0;
  std::function<void()> m_handler;
};

class RecordingDisplay final : public StatusDisplay {
 public:
  void setCaption(const QString& caption) override { captions.push_back(caption); }
  std::vector<QString> captions;
};

// A run that takes `durationMs` of simulated time and fails on its `failOn`-th call.
class FakeRun {
 public:
  FakeRun(qint64& nowMs, SimulatedTimer& timer, RecordingDisplay& display)
      : m_now(nowMs), m_timer(timer), m_display(display) {}
  bool sendDTEbyMail() {
    starts.push_back(m_now);
    timerOnDuringRun = timerOnDuringRun || m_timer.isEnabled();
    m_now += durationMs;
    const bool ok = static_cast<int>(starts.size()) != failOn;
    m_display.setCaption(ok ? QStringLiteral("Last Run: %1").arg(m_now) : QStringLiteral("Error"));
    return ok;
  }
  std::vector<qint64> starts;
  qint64 durationMs = 0;
  int failOn = -1;
  bool timerOnDuringRun = false;

 private:
  qint64& m_now;
  SimulatedTimer& m_timer;
  RecordingDisplay& m_display;
};

class PollLoopTest : public ::testing::Test {
 protected:
  qint64 now = 0;
  SimulatedTimer timer{now};
  RecordingDisplay display;
  FakeRun run{now, timer, display};
  PollLoop loop{display, timer, [this] { return run.sendDTEbyMail(); }};
};

TEST_F(PollLoopTest, FirstRunComesOneIntervalAfterLoad) {
  loop.start();
  EXPECT_EQ(display.captions, std::vector<QString>{"Main"});
  timer.runFor(4900);
  EXPECT_TRUE(run.starts.empty());
  timer.runFor(100);
  EXPECT_EQ(run.starts, std::vector<qint64>{5000});
}

TEST_F(PollLoopTest, NextRunStartsOneIntervalAfterTheLongRunEnded) {
  run.durationMs = 20000;
  loop.start();
  timer.runFor(35000);
  // 5000 start, 25000 end; 30000 start, 50000 end.
  EXPECT_EQ(run.starts, (std::vector<qint64>{5000, 30000}));
  EXPECT_FALSE(run.timerOnDuringRun);
  EXPECT_EQ(display.captions.back(), QStringLiteral("Last Run: 50000"));
}

TEST_F(PollLoopTest, AfterAFailedRunNoRunEverStartsAgain) {
  run.failOn = 2;
  loop.start();
  timer.runFor(10000);
  EXPECT_EQ(run.starts.size(), 2u);
  timer.runFor(24 * 3600 * 1000LL);
  EXPECT_EQ(run.starts.size(), 2u);
  EXPECT_FALSE(timer.isEnabled());
  EXPECT_EQ(display.captions.back(), QStringLiteral("Error"));
}

TEST(QtTickTimerTest, StartsDisabledWithItsInterval) {
  QtTickTimer timer(PollLoop::kIntervalMs);
  EXPECT_FALSE(timer.isEnabled());
  EXPECT_EQ(timer.interval(), 5000);
  timer.setEnabled(true);
  EXPECT_TRUE(timer.isEnabled());
  timer.setEnabled(false);
  EXPECT_FALSE(timer.isEnabled());
}

}  // namespace
}  // namespace corvex
