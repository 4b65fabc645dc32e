#pragma once

#include <QString>

namespace corvex {

/// The demo's Application folder: main.ini naming the SQLite database
/// "corvex-demo.db" beside it, that database built from the embedded demo
/// data (demo_database.h), and the empty folders logs, files, qr and outbox
/// (the demo mails into the pickup folder outbox).
///
/// `dir` is created when missing: the demo is the one place that creates
/// folders. A previous demo's database, main.ini and folders are removed
/// first, so every demo starts fresh. To keep that removal from ever hitting
/// someone's own files, an existing folder is used only when it is empty or
/// carries the marker file a previous demo left (kDemoMarker); otherwise
/// Error 75 ("Path/File access error") is raised and nothing is touched.
/// Other failures raise Error 75 or what building the database raises.
void createDemoWorkspace(const QString& dir);

/// The file that marks a folder as made by createDemoWorkspace().
inline constexpr char kDemoMarker[] = ".corvex-demo";

}  // namespace corvex
