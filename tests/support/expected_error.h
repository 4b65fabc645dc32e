#pragma once

#include "base/error.h"

#include <functional>
#include <optional>

namespace corvex::test {

/// The Error that `work` raised, or nothing when it returned normally. Any
/// other exception travels on and fails the test.
std::optional<Error> raisedError(const std::function<void()>& work);

/// The number of the Error that `work` raised; 0 when it raised none.
int errorNumberOf(const std::function<void()>& work);

}  // namespace corvex::test
