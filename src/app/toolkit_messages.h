#pragma once

namespace corvex {

/// Keeps the toolkit's notices that mean nothing for this program off
/// standard error, so that in a headless run under a service manager every
/// line there is the program's own or a real problem: Qt's notice that
/// XDG_RUNTIME_DIR is unset (normal for a system service or a cron job; the
/// program keeps nothing in a runtime folder). Every other message goes to
/// the handler that was installed before. Install once, before the
/// application object is created.
void dropToolkitNoise();

}  // namespace corvex
