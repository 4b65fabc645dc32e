#pragma once

#include <QString>

namespace corvex {

/// Raises Error(kBadFileName) unless `name` is a plain file name that stays
/// inside the folder it is joined to on every platform: not empty, not "."
/// or "..", without path separators, control characters or the characters
/// Windows refuses in names (<>:"|?*). `what` names the value in the error.
void requirePlainFileName(const QString& name, const QString& what);

}  // namespace corvex
