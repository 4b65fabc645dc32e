#include "mail/ledger_view.h"

namespace corvex {

namespace {

QString key(const QString& id) { return id.trimmed().toLower(); }

// The Message-ID's own part: what an envelope id ends with.
QString ownPart(const QString& messageId) { return key(messageId.left(messageId.indexOf(u'@'))); }

}  // namespace

LedgerView LedgerView::read(const DeliveryLedger& ledger, const QDate& from, const QDate& to,
                            const std::function<bool(const LedgerEntry&)>& keep) {
  LedgerView view;
  ledger.forEach(from, to, [&view, &keep](const LedgerEntry& entry) {
    if (keep(entry)) view.add(entry);
  });
  return view;
}

QString LedgerView::identity(const LedgerEntry& entry) const {
  switch (entry.kind) {
    case LedgerEntry::Kind::Mail:
      return QStringLiteral("mail ") + key(entry.messageId);
    case LedgerEntry::Kind::Bounce:
      return QStringLiteral("bounce %1 %2").arg(key(entry.messageId), key(entry.recipient));
    case LedgerEntry::Kind::Dismissal:
      break;
  }
  return QStringLiteral("dismissal %1 %2").arg(entry.documentKey(), ledgerTime(entry.time));
}

void LedgerView::add(const LedgerEntry& entry) {
  const QString id = identity(entry);
  if (m_byIdentity.contains(id)) return;
  m_byIdentity.insert(id, m_entries.size());
  if (entry.kind == LedgerEntry::Kind::Mail) {
    m_mailByMessageId.insert(key(entry.messageId), m_entries.size());
    if (!entry.envelopeId.isEmpty()) m_mailByEnvelopeId.insert(key(entry.envelopeId), m_entries.size());
    m_mailByEnvelopeId.insert(ownPart(entry.messageId), m_entries.size());
  }
  m_entries << entry;
}

bool LedgerView::contains(const LedgerEntry& entry) const { return m_byIdentity.contains(identity(entry)); }

const LedgerEntry* LedgerView::mailByEnvelopeId(const QString& envelopeId) const {
  const auto found = m_mailByEnvelopeId.constFind(key(envelopeId));
  return found == m_mailByEnvelopeId.cend() ? nullptr : &m_entries[*found];
}

const LedgerEntry* LedgerView::mailByMessageId(const QString& messageId) const {
  const auto found = m_mailByMessageId.constFind(key(messageId));
  return found == m_mailByMessageId.cend() ? nullptr : &m_entries[*found];
}

bool LedgerView::isSettled(const LedgerEntry& bounce) const {
  const LedgerEntry* bounced = mailByMessageId(bounce.messageId);
  const QDateTime mailed = bounced ? bounced->time : bounce.time;
  for (const LedgerEntry& entry : m_entries) {
    if (!isOfDocument(entry, bounce.serie, bounce.numero)) continue;
    if (entry.kind == LedgerEntry::Kind::Mail && entry.time > mailed) return true;
    if (entry.kind == LedgerEntry::Kind::Dismissal && entry.time >= bounce.time) return true;
  }
  return false;
}

QList<LedgerEntry> LedgerView::bouncesSince(const QDateTime& since) const {
  QList<LedgerEntry> bounces;
  for (const LedgerEntry& entry : m_entries) {
    if (entry.kind == LedgerEntry::Kind::Bounce && entry.time >= since) bounces << entry;
  }
  return bounces;
}

bool isOfDocument(const LedgerEntry& entry, const QString& serie, qint32 numero) {
  return entry.numero == numero && entry.serie.compare(serie, Qt::CaseInsensitive) == 0;
}

}  // namespace corvex
