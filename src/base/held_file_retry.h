#pragma once

#include <functional>

namespace corvex {

/// What one try of a file operation came to: done, refused for good, or
/// refused because another program holds the file for a moment (on Windows
/// a virus scanner, an indexer or a backup program: a sharing violation).
enum class Attempt { Done, Failed, Held };

/// Calls `step` until it answers Done or Failed, or has answered Held
/// kHeldAttempts times, and returns its last answer. Between tries it waits
/// through `wait` (milliseconds), doubling from kFirstPauseMs; the waits
/// add up to less than a second, so a file held for good is reported soon.
Attempt retryWhileHeld(const std::function<Attempt()>& step, const std::function<void(int)>& wait);

inline constexpr int kHeldAttempts = 5;
inline constexpr int kFirstPauseMs = 50;

}  // namespace corvex
