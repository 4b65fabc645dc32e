#pragma once

namespace corvex {

/// What each tick of the polling timer runs: one pass over the pending
/// documents. The pass traps its own errors.
class DispatchRun {
 public:
  virtual ~DispatchRun() = default;

  /// Returns true after a normal end (the caption then shows "Last Run: "
  /// and the time), false after the error path (logged, caption "Error").
  virtual bool sendDTEbyMail() = 0;
};

}  // namespace corvex
