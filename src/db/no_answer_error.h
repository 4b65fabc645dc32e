#pragma once

#include "base/error.h"

namespace corvex {

/// A login or a statement that the database server did not answer in time
/// (kDatabaseError, the description saying so). A server that stopped
/// answering is no one document's problem: whoever sees this ends its work.
class NoAnswerError : public Error {
 public:
  using Error::Error;
};

}  // namespace corvex
