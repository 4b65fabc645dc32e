#include "support/expected_error.h"

namespace corvex::test {

std::optional<Error> raisedError(const std::function<void()>& work) {
  try {
    work();
  } catch (const Error& error) {
    return error;
  }
  return std::nullopt;
}

int errorNumberOf(const std::function<void()>& work) {
  const std::optional<Error> error = raisedError(work);
  return error ? error->number() : 0;
}

}  // namespace corvex::test
