#pragma once

#include <QObject>

namespace corvex {

/// Ends the event loop on SIGINT or SIGTERM. The signal is only noted by its
/// handler; the quit happens on the event loop, so a run in progress is never
/// cut short: the program ends while it is idle. Install once per process.
void quitOnTerminationSignals();

}  // namespace corvex
