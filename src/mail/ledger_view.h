#pragma once

#include "mail/delivery_ledger.h"
#include "mail/ledger_entry.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>

namespace corvex {

/// Ledger entries read back as what became of the documents' mails: which
/// mail a bounce belongs to, and whether a bounce still waits for a person.
///
/// The same mail or the same bounce written twice (a line written again
/// after a crash, a report read twice) counts once.
class LedgerView {
 public:
  /// The entries of `ledger` from `from` through `to` (whole months) that
  /// `keep` accepts (all by default).
  static LedgerView read(
      const DeliveryLedger& ledger, const QDate& from, const QDate& to,
      const std::function<bool(const LedgerEntry&)>& keep = [](const LedgerEntry&) { return true; });

  /// Adds `entry` unless the view holds it already.
  void add(const LedgerEntry& entry);
  /// Whether the view holds `entry` (the same mail, or the same bounce of
  /// one recipient of the same mail).
  bool contains(const LedgerEntry& entry) const;
  const QList<LedgerEntry>& entries() const { return m_entries; }

  /// The mail with this envelope id (or whose Message-ID has this id as its
  /// own part, for an envelope id that carries no document key), or with
  /// this Message-ID; null when the view has none.
  const LedgerEntry* mailByEnvelopeId(const QString& envelopeId) const;
  const LedgerEntry* mailByMessageId(const QString& messageId) const;

  /// A bounce is settled once its document was mailed again after the mail
  /// that bounced, or its bounces were dismissed after it came.
  bool isSettled(const LedgerEntry& bounce) const;
  /// The bounces read at or after `since`, in the ledger's order.
  QList<LedgerEntry> bouncesSince(const QDateTime& since) const;

 private:
  QString identity(const LedgerEntry& entry) const;

  QList<LedgerEntry> m_entries;
  QHash<QString, qsizetype> m_byIdentity;
  QHash<QString, qsizetype> m_mailByMessageId;
  QHash<QString, qsizetype> m_mailByEnvelopeId;
};

/// Whether `entry` belongs to the document SERIE-NUMERO (the series
/// compared without regard to case, as SQL Server does).
bool isOfDocument(const LedgerEntry& entry, const QString& serie, qint32 numero);

}  // namespace corvex
