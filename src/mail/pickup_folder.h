#pragma once

#include "mail/send_result.h"

#include <QByteArray>
#include <QString>

namespace corvex {

/// The text after this prefix in sysSMTPServer names a pickup folder instead of
/// an SMTP server.
inline constexpr char kPickupPrefix[] = "pickup:";

/// Writes `message` as `<name>.eml` into `folder`, which must exist (it is
/// never created). The file appears complete or not at all: it is written
/// under a temporary name in the same folder and renamed. A written file is
/// Sent, its text "written to " and the file's path; a missing folder or a failed write (a full disk, say) is a
/// temporary failure with the reason, since it clears once the folder is
/// back.
SendResult writeToPickupFolder(const QString& folder, const QString& name, const QByteArray& message);

}  // namespace corvex
