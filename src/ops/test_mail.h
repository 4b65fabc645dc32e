#pragma once

#include "startup/application.h"

#include <QString>
#include <QTextStream>

namespace corvex {

/// `corvex test-mail ADDRESS`: mails one sample message to `address` through
/// the transport the parameters configure, so an operator sees a real mail
/// arrive before the first buyer's document goes out. The message carries a
/// sample DTE JSON and two sample PDFs, a Factura and a Comprobante de
/// Credito Fiscal rendered from the program's built-in sample documents with
/// the company's Settings, logo and layouts.
///
/// Needs `app` started up (Main() and Form_Load()). Everything is rendered in
/// a temporary folder that is removed afterwards; the company's database is
/// only read, nothing is marked and no log line is written. Prints the
/// server's final reply (or the pickup file written) to `out`, and the reason
/// of a failure, with its hint (see withHint()), to `err`. It tries even
/// while the running program waits after a refused login, says so, and
/// ends that wait when its own login worked (see runningWait()). Returns
/// true when the message was accepted.
bool sendTestMail(Application& app, const QString& address, QTextStream& out, QTextStream& err);

}  // namespace corvex
