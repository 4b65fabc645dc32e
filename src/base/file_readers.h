#pragma once

#include <QString>

namespace corvex {

/// Who besides the file's owner may read the file at `path`, for a file that
/// holds a secret (main.ini with the database password). Empty when nobody
/// else may, otherwise a short description for `corvex check`.
///
/// Linux: any group or other read bit of the mode (ACLs are not looked at).
/// Windows: an entry of the file's access list that lets read the data to a
/// group every user of the machine or of the domain is in (Everyone,
/// Authenticated Users, Users, Interactive, Guests), or no access list at
/// all. Administrators and SYSTEM may read it either way.
QString otherReaders(const QString& path);

/// The command that leaves reading `path` to its owner alone.
QString ownerOnlyFix(const QString& path);

}  // namespace corvex
