#include "base/held_file_retry.h"

namespace corvex {

Attempt retryWhileHeld(const std::function<Attempt()>& step, const std::function<void(int)>& wait) {
  Attempt outcome = step();
  int pauseMs = kFirstPauseMs;
  for (int tries = 1; outcome == Attempt::Held && tries < kHeldAttempts; ++tries) {
    wait(pauseMs);
    pauseMs *= 2;
    outcome = step();
  }
  return outcome;
}

}  // namespace corvex
