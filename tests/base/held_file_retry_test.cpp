#include "base/held_file_retry.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvex {
namespace {

struct RetryCase {
  const char* name;
  std::vector<Attempt> answers;  // the step's answers in turn; the last repeats
  int expectedCalls;
  Attempt expected;
};

// A held file is tried again, a few times within a second; anything else is
// final at once.
TEST(HeldFileRetryTest, TriesAHeldFileAgainAFewTimesWithinASecond) {
  using enum Attempt;
  const RetryCase cases[] = {
      {"done at once", {Done}, 1, Done},
      {"failed at once", {Failed}, 1, Failed},
      {"held, then done", {Held, Held, Done}, 3, Done},
      {"held, then failed", {Held, Failed}, 2, Failed},
      {"done on the last try", {Held, Held, Held, Held, Done}, kHeldAttempts, Done},
      {"held for good", {Held}, kHeldAttempts, Held},
  };
  for (const RetryCase& c : cases) {
    SCOPED_TRACE(c.name);
    int calls = 0;
    int waitedMs = 0;
    std::vector<int> waits;
    const Attempt outcome = retryWhileHeld([&] { return c.answers[std::min<size_t>(calls++, c.answers.size() - 1)]; },
                                           [&](int ms) {
                                             waits.push_back(ms);
                                             waitedMs += ms;
                                           });
    EXPECT_EQ(outcome, c.expected);
    EXPECT_EQ(calls, c.expectedCalls);
    EXPECT_EQ(int(waits.size()), calls - 1);
    EXPECT_LT(waitedMs, 1000);
    for (const int ms : waits) EXPECT_GT(ms, 0);
  }
}

}  // namespace
}  // namespace corvex
