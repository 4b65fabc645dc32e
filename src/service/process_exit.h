#pragma once

namespace corvex {

/// Ends the process with `status`, once runCorvex() has returned and every
/// file it wrote is closed. Standard output and error are flushed first.
[[noreturn]] void endProcess(int status);

}  // namespace corvex
