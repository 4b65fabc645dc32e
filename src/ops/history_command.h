#pragma once

#include "base/app_folder.h"

#include <QString>
#include <QTextStream>

namespace corvex {

/// `corvex history SERIE NUMERO`: whether FACTURAS_ENC holds the document
/// and whether it is marked, then every line the delivery ledger holds for
/// it, oldest first: each mail (resends included) with when, to whom, its
/// Message-ID, the server's reply and the SHA-256 of each attachment as
/// mailed; each bounce with its status, diagnostic and what to do; each
/// dismissal. Takes no lock and changes nothing.
///
/// Prints to `out`, failures to `err`; returns the exit status: 0, 1 for a
/// key that matches no document (or a database that refuses the question),
/// 2 when main.ini or the database login is unusable.
int showHistory(const AppFolder& folder, const QString& serie, qint32 numero, QTextStream& out, QTextStream& err);

}  // namespace corvex
