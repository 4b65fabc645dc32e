#pragma once

namespace corvex {

/// The whole program: arguments, start-up, and the life after it. Returns the
/// process exit status (2 when start-up fails).
int runCorvex(int argc, char** argv);

}  // namespace corvex
