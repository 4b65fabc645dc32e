#pragma once

#include <functional>

namespace corvex::test {

/// Asks `done` every few milliseconds until it answers true or `timeoutMs`
/// have passed, and returns its last answer: the way a test waits for
/// another process to reach a state, never with a fixed sleep. `done` is
/// asked at least once, and once more after the time ran out.
bool pollUntil(const std::function<bool()>& done, int timeoutMs);

}  // namespace corvex::test
