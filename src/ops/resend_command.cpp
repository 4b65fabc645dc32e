#include "ops/resend_command.h"

#include "base/error.h"
#include "db/connection.h"
#include "dispatch/dispatch_texts.h"
#include "dispatch/resend_requests.h"
#include "ops/beside_program.h"

#include <optional>

namespace corvex {

namespace {

// A run holds the lock only while it reads or changes the requests.
constexpr int kLockWaitMs = 30000;

// Records the request, then makes the document pending; a refused update
// puts back the request the file held before.
void request(Connection& database, ResendRequests& requests, const ResendRequest& request) {
  requests.load();
  const std::optional<ResendRequest> previous = requests.find(request.serie, request.numero);
  requests.put(request);
  try {
    database.execute(resendStatement(request.serie, request.numero));
  } catch (const Error&) {
    // Trapped to leave the requests as they were; the caller reports it.
    if (previous)
      requests.put(*previous);
    else
      requests.remove(request.serie, request.numero);
    throw;
  }
}

}  // namespace

int resendDocument(const AppFolder& folder, const ResendOrder& order, const Clock& clock, QTextStream& out,
                   QTextStream& err) {
  Connection database = commandConnection(folder);
  if (!openedForCommand(database, folder, err)) return 2;
  // Trapped here: the command's verdicts are exit statuses.
  try {
    const ResendRequests::Lock lock(folder, kLockWaitMs);
    const std::optional<QString> serie = storedSerie(database, order.serie, order.numero);
    if (!serie) {
      err << QStringLiteral("corvex: FACTURAS_ENC holds no document %1; nothing changed")
                 .arg(documentKey(order.serie, order.numero))
          << Qt::endl;
      return 1;
    }
    RealFileSystem files;
    ResendRequests requests(files, folder);
    request(database, requests, ResendRequest{*serie, order.numero, order.to, formatTimestamp(clock.now()), false});
    out << QStringLiteral("%1 is pending again: the next run mails it once, to %2, and marks it")
               .arg(documentKey(*serie, order.numero),
                    order.to.isEmpty() ? QStringLiteral("its address in the view vwDTECorvex") : order.to)
        << Qt::endl;
    return 0;
  } catch (const Error& error) {
    err << commandErrorText(error) << QStringLiteral(" (nothing changed)") << Qt::endl;
    return 1;
  }
}

}  // namespace corvex
