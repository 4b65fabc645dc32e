#include "ops/bounce_dismissal.h"

#include "mail/delivery_ledger.h"
#include "mail/ledger_view.h"
#include "ops/beside_program.h"

namespace corvex {

namespace {

// What `corvex status` looks at.
constexpr qint64 kBounceDays = 30;

QList<LedgerEntry> unsettledBounces(const DeliveryLedger& ledger, const QString& serie, qint32 numero,
                                    const QDateTime& now) {
  const QDateTime since = now.addDays(-kBounceDays);
  const LedgerView view =
      LedgerView::read(ledger, since.date().addMonths(-1), now.date(),
                       [&](const LedgerEntry& entry) { return isOfDocument(entry, serie, numero); });
  QList<LedgerEntry> bounces;
  for (const LedgerEntry& bounce : view.bouncesSince(since)) {
    if (!view.isSettled(bounce)) bounces << bounce;
  }
  return bounces;
}

}  // namespace

int dismissBounces(const AppFolder& folder, const QString& serie, qint32 numero, const Clock& clock, QTextStream& out,
                   QTextStream& err) {
  RealFileSystem files;
  DeliveryLedger ledger(files, folder);
  const QDateTime now = clock.now();
  const QList<LedgerEntry> bounces = unsettledBounces(ledger, serie, numero, now);
  if (bounces.isEmpty()) {
    err << QStringLiteral("corvex: %1 has no unsettled bounce of the last %2 days; nothing changed")
               .arg(documentKey(serie, numero))
               .arg(kBounceDays)
        << Qt::endl;
    return 1;
  }
  LedgerEntry dismissal;
  dismissal.kind = LedgerEntry::Kind::Dismissal;
  dismissal.time = now;
  dismissal.serie = bounces.last().serie;
  dismissal.numero = numero;
  dismissal.idDocumento = bounces.last().idDocumento;
  dismissal.to = bounces.last().to;
  // Trapped here: the command's verdicts are exit statuses.
  try {
    ledger.append(dismissal);
  } catch (const Error& error) {
    err << commandErrorText(error) << QStringLiteral(" (nothing changed)") << Qt::endl;
    return 1;
  }
  out << QStringLiteral("%1: %2 bounce(s) dismissed; the delivery ledger keeps the dismissal")
             .arg(dismissal.documentKey())
             .arg(bounces.size())
      << Qt::endl;
  return 0;
}

}  // namespace corvex
