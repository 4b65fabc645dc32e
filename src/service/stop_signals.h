#pragma once

namespace corvex {

/// Stop requests from outside: SIGINT, SIGTERM and SIGHUP on Unix; Ctrl+C, a
/// console close, log-off or shut-down on Windows. From installStopHandlers()
/// on, such a request never ends the process by itself: it is only noted, the
/// dispatch run asks stopRequested() between documents, so the document in
/// hand is finished (mailed and marked, or neither), and the event loop ends
/// once it is idle. On Windows no new send starts from the moment Windows
/// asks whether the session may end; if the end is called off, the program
/// goes on. Process-wide by nature: a signal handler has no object.

/// Installs the handlers. Call once, as early in main() as possible, before
/// any work that a stop must not cut short.
void installStopHandlers();

/// True once a stop was requested. Safe to call from anywhere, at any time.
bool stopRequested();

#ifdef _WIN32
/// A stop asked for by the Service Control Manager: taken as a stop signal
/// is, the document in hand finished. Safe to call from any thread. A
/// service installs no other handler: a service hears the console's log-off
/// of every user, which must not stop it.
void requestStop();
#endif

/// Ends the event loop of the QCoreApplication as soon as it is idle after a
/// stop request, including one that came before this call. Needs the
/// QCoreApplication; call once.
void quitEventLoopOnStop();

}  // namespace corvex
