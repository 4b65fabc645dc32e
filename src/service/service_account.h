#pragma once

#include <QString>

namespace corvex {

/// The account the service runs under unless told otherwise: its own
/// virtual account, which has none of the machine's rights and no password.
/// Its SID, S-1-5-80-..., follows from the service's name alone, so the
/// package's access lists can name it before the service exists.
inline const QString kDefaultServiceAccount = QStringLiteral("NT SERVICE\\Corvex");

/// Whether Windows needs a password to start a service under `account`:
/// not for a virtual account ("NT SERVICE\..."), the built-in ones
/// (LocalSystem, "NT AUTHORITY\..."), or a group managed service account
/// (its name ends in '$'); for any other user account it does. Case is
/// ignored, as Windows ignores it.
bool accountNeedsPassword(const QString& account);

}  // namespace corvex
