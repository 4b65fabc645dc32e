#pragma once

#include "base/app_folder.h"
#include "base/clock.h"

#include <QString>
#include <QTextStream>

namespace corvex {

/// `corvex dismiss-bounce SERIE NUMERO`: the operator settles the document's
/// bounces of the last 30 days without mailing it again (a buyer who got
/// the document another way, an address that cannot be corrected). Writes
/// one dismissal line into the delivery ledger, which keeps it with the
/// bounces; `corvex status` then no longer asks for a person on their
/// account. Takes no lock, needs no database.
///
/// Prints what it did to `out`, failures to `err`; returns the exit status:
/// 0, 1 when the document has no unsettled bounce (nothing is written) or
/// the line cannot be written.
int dismissBounces(const AppFolder& folder, const QString& serie, qint32 numero, const Clock& clock, QTextStream& out,
                   QTextStream& err);

}  // namespace corvex
