#pragma once

#include "app/tick_timer.h"
#include "base/status_display.h"
#include "dispatch/run_status.h"

#include <functional>

namespace corvex {

/// The life of the main form, with or without a window: "Main" at load, then
/// one dispatch run per tick of `Contador`, 5000 ms after the previous run
/// ended, until a run fails; after that the caption reads "Error" and no run
/// ever starts again. The references must outlive the loop.
class PollLoop {
 public:
  static constexpr int kIntervalMs = kPollIntervalMs;

  /// `run` is one dispatch run: it returns true after a normal end (the
  /// caption then shows "Last Run: " and the time), false after its error
  /// path (logged, caption "Error"); it traps its own errors.
  using Run = std::function<bool()>;

  PollLoop(StatusDisplay& display, TickTimer& contador, Run run);

  /// Shows "Main" and arms the timer: the first run comes one interval later.
  void start();
  /// One tick: the timer stays off during the run, so runs never overlap, and
  /// comes back on (a fresh interval) only when the run ended normally.
  /// Returns the run's outcome.
  bool Contador_Timer();

 private:
  StatusDisplay& m_display;
  TickTimer& m_contador;
  Run m_run;
};

}  // namespace corvex
