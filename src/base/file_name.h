#pragma once

#include <QString>

namespace corvex {

/// Raises Error(kBadFileName) unless `name` is a plain file name that stays
/// inside the folder it is joined to, on Windows and Linux alike: not empty,
/// not "." or "..", without path separators, control characters or the
/// characters Windows refuses in names (<>:"|?*), and not one of Windows'
/// device names (CON, NUL, COM1, ...), with or without an extension ("NUL.x",
/// "COM1.json" name the device too). `what` names the value in the error,
/// whose text is safe for a log line.
void requirePlainFileName(const QString& name, const QString& what);

}  // namespace corvex
