#pragma once

#include <QByteArray>
#include <QString>

namespace corvex {

/// One value of an INI file, read the way the Windows private-profile reader
/// does: section and key names match without regard to case, blanks around
/// keys and values are dropped, a value wrapped in matching quotes loses
/// them, lines starting with ';' are comments, and the first matching
/// section and key win. A missing file, section or key gives `defaultValue`.
/// Values are read whole (tokens and secrets run long). The file is read as UTF-8 (the system code page on Linux), or
/// as UTF-16 or UTF-32 when it starts with that encoding's byte-order mark.
QString ReadIniValue(const QString& path, const QString& section, const QString& key, const QString& defaultValue);

/// [DB] cString of `path`, as the original program read it: into a
/// 255-character buffer, which keeps at most 254 characters.
QString ReadIniConnectionString(const QString& path);

/// The same lookup in the bytes of an INI file already read.
QString iniValue(const QByteArray& content, const QString& section, const QString& key, const QString& defaultValue);

}  // namespace corvex
