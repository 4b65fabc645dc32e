#pragma once

#include <chrono>
#include <functional>

namespace corvex {

/// Asked by every wait that a stop request must end: true once the program
/// is to stop. Handed down at construction to whoever waits; an empty one
/// never stops. The program's own is stopRequested() of src/service.
using StopCheck = std::function<bool()>;

/// How often a wait that a stop may end wakes to ask: well within the second
/// a stop may take.
inline constexpr std::chrono::milliseconds kStopPollInterval{100};

/// Whether `stop` says to stop (false for an empty one).
inline bool stopAsked(const StopCheck& stop) { return stop && stop(); }

/// Waits `duration`, or less once `stop` says to stop; returns false then.
bool waitUnlessStopped(std::chrono::milliseconds duration, const StopCheck& stop);

}  // namespace corvex
