#pragma once

#include "base/app_folder.h"
#include "base/stop_check.h"

#include <QTextStream>

namespace corvex {

/// `corvex check`: whether this Application folder's set-up will work, told
/// before the first buyer's document goes out. In order: main.ini, the
/// database (checkDatabase()), the folders logs, files and qr, the two
/// layouts, and the mail transport: for SMTP connect, TLS, certificate,
/// login and the sender accepted, then RSET and QUIT without sending; for a
/// pickup folder that it exists and is writable.
///
/// A failed mail check names the reply's hint (see replyHint()) as its fix.
/// It always tries, even while the running program waits after a refused
/// login; it says so ("login wait"), and a login of its own that works ends
/// that wait (see runningWait()). `stop` ends its waits for the servers.
///
/// Writes one line per check to `out` (CheckReport). Mails nothing, marks
/// nothing, writes no log line and leaves no file behind (a folder's
/// writability is tried with a temporary file that is removed; a login wait
/// it ended is gone, and a refresh token the endpoint rotated is kept, as
/// the running program would). Returns true when every check passed.
bool checkSetup(const AppFolder& folder, QTextStream& out, const StopCheck& stop = {});

}  // namespace corvex
