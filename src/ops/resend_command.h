#pragma once

#include "base/app_folder.h"
#include "base/clock.h"

#include <QString>
#include <QTextStream>

namespace corvex {

/// The document the operator named, and where its next mail goes.
struct ResendOrder {
  QString serie;
  qint32 numero = 0;
  /// Empty: the view's address.
  QString to;
};

/// `corvex resend SERIE NUMERO [--to ADDRESS]`: asks the next run to mail
/// that document once more, to ADDRESS instead of the view's eMail when
/// given. Under the lock of ResendRequests it checks that FACTURAS_ENC holds
/// the document, records the request and sets the document's ENVIADA to 0;
/// the run does the rest (see DispatchRun). Takes no instance lock, so it
/// works beside a running service, and writes no log line.
///
/// Prints what will happen to `out`, every failure to `err`, and returns the
/// exit status: 0 asked; 1 no such document, or the database or the request
/// file refused the change (the request is then as it was); 2 main.ini or
/// the database login is unusable.
int resendDocument(const AppFolder& folder, const ResendOrder& order, const Clock& clock, QTextStream& out,
                   QTextStream& err);

}  // namespace corvex
