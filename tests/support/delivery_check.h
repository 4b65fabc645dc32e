#pragma once

#include "support/temp_app_dir.h"

#include <QMap>
#include <QString>
#include <QStringList>

namespace corvex::test {

/// The delivery promise, checked on an Application folder whose SQLite file
/// `database` holds FACTURAS_ENC: every document is either mailed exactly once
/// and marked (or, its mark having failed, listed in the journal), or not
/// mailed at all and still pending; and a mailed document carries a whole
/// JSON, a whole PDF and its own QR code. `messages` are the .eml files that
/// reached the buyers (a pickup folder or the SMTP peer's store); a message
/// belongs to the document whose eMail it carries.
///
/// Returns one line per document that breaks the promise (empty when it
/// holds), and fills `pending` with "SERIE-NUMERO" of those still pending.
QStringList brokenPromises(const TempAppDir& dir, const QString& database, const QStringList& messages,
                           QStringList* pending = nullptr);

/// The "SERIE-NUMERO" entries of the journal of unmarked documents.
QStringList journaled(const TempAppDir& dir);

/// The promise for the copies of documentCopiesSql() in `database`, given how
/// many messages each buyer's address received: none mailed twice, and the
/// buyers of the marked copies exactly those mailed. Fails the running test
/// where it does not hold.
void expectCopiesMailedOnceAndMarked(const TempAppDir& dir, const QString& database,
                                     const QMap<QString, int>& received);
/// The buyers of the copies marked as mailed.
QStringList markedCopies(const TempAppDir& dir, const QString& database);

}  // namespace corvex::test
