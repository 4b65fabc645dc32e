#pragma once

#include "base/error.h"

#include <QString>

namespace corvex {

/// A value that cannot name a file. Like FileError, it concerns the one
/// document or command that gave the value: callers that let one document
/// fail alone catch this type.
class BadFileNameError : public Error {
 public:
  explicit BadFileNameError(const QString& description) : Error(kBadFileName, description) {}
};

/// Raises BadFileNameError unless `name` is a plain file name that stays
/// inside the folder it is joined to, on Windows and Linux alike: not empty,
/// not "." or "..", without path separators, control characters or the
/// characters Windows refuses in names (<>:"|?*), and not one of Windows'
/// device names (CON, NUL, COM1, ...), with or without an extension ("NUL.x",
/// "COM1.json" name the device too). `what` names the value in the error,
/// whose text is safe for a log line.
void requirePlainFileName(const QString& name, const QString& what);

}  // namespace corvex
