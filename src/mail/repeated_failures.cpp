#include "mail/repeated_failures.h"

#include "base/clock.h"

#include <algorithm>

namespace corvex {

namespace {

constexpr qint64 kRelogSeconds = 3600;
constexpr qint64 kFirstBackoffSeconds = 60;
constexpr qint64 kLongestBackoffSeconds = 3600;
constexpr qint64 kForgetSeconds = 24 * 3600;
// 2^6 minutes already passes the hour; a larger shift would only overflow.
constexpr int kLongestBackoffShift = 6;

qint64 backoffSeconds(int permanentInARow) {
  const int shift = std::min(permanentInARow - 1, kLongestBackoffShift);
  return std::min(kFirstBackoffSeconds << shift, kLongestBackoffSeconds);
}

}  // namespace

bool RepeatedFailures::isDue(const QString& key, const QDateTime& now) const {
  const auto entry = m_entries.constFind(key);
  return entry == m_entries.cend() || !entry->nextAttempt.isValid() || entry->nextAttempt <= now;
}

QString RepeatedFailures::failed(const QString& key, const QString& line, bool permanent, const QDateTime& now) {
  forgetStale(now);
  Entry& entry = m_entries[key];
  if (entry.line != line) entry = Entry{line, 0, now, QDateTime(), QDateTime(), 0, QDateTime()};
  ++entry.attempts;
  entry.lastAttempt = now;
  entry.permanentInARow = permanent ? entry.permanentInARow + 1 : 0;
  entry.nextAttempt = permanent ? now.addSecs(backoffSeconds(entry.permanentInARow)) : QDateTime();

  if (!entry.lastLogged.isValid()) {
    entry.lastLogged = now;
    return line;
  }
  if (entry.lastLogged.secsTo(now) < kRelogSeconds) return {};
  entry.lastLogged = now;
  return line + QStringLiteral(" (%1 attempts since %2)").arg(entry.attempts).arg(formatTimestamp(entry.firstFailure));
}

QString RepeatedFailures::succeeded(const QString& key) {
  const auto entry = m_entries.constFind(key);
  if (entry == m_entries.cend()) return {};
  const QString line = QStringLiteral("Corvex=> %1 mailed after %2 failed attempts since %3")
                           .arg(key)
                           .arg(entry->attempts)
                           .arg(formatTimestamp(entry->firstFailure));
  m_entries.erase(entry);
  return line;
}

QList<RepeatedFailures::Failure> RepeatedFailures::list() const {
  QList<Failure> failures;
  for (auto entry = m_entries.cbegin(); entry != m_entries.cend(); ++entry)
    failures << Failure{entry.key(), entry->line, entry->firstFailure, entry->attempts};
  return failures;
}

void RepeatedFailures::forgetStale(const QDateTime& now) {
  m_entries.removeIf([&now](const QHash<QString, Entry>::iterator& entry) {
    return entry->lastAttempt.secsTo(now) >= kForgetSeconds;
  });
}

}  // namespace corvex
