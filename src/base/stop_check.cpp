#include "base/stop_check.h"

#include <algorithm>
#include <thread>

namespace corvex {

bool waitUnlessStopped(std::chrono::milliseconds duration, const StopCheck& stop) {
  const auto end = std::chrono::steady_clock::now() + duration;
  for (;;) {
    if (stopAsked(stop)) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return true;
    std::this_thread::sleep_for(std::min(left, kStopPollInterval));
  }
}

}  // namespace corvex
