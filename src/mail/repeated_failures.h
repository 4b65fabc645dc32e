#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

namespace corvex {

/// What the mailer remembers, in memory only, about documents whose mail
/// keeps failing, so that an unattended program neither fills its log with
/// the same line every few seconds nor keeps knocking at a server that
/// refused a message for good.
///
/// A document is named by a key (its log label). The same failure line for
/// the same key is logged the first time, then at most once an hour with the
/// count of attempts; a success after failures is announced once. After a
/// permanent failure the document waits 1, 2, 4 ... minutes, at most an hour,
/// before its next attempt; after a temporary one it is tried every run.
/// Keys not tried for a day are forgotten.
class RepeatedFailures {
 public:
  /// Whether the document `key` may be tried at `now`.
  bool isDue(const QString& key, const QDateTime& now) const;

  /// Records a failed attempt with the log line it would write. Returns the
  /// line to log: `line` itself the first time (or when the failure changed),
  /// `line` with the count of attempts once an hour passed since it was last
  /// logged, and an empty text otherwise.
  QString failed(const QString& key, const QString& line, bool permanent, const QDateTime& now);

  /// Records a successful attempt. Returns the line announcing that the
  /// failures of `key` cleared, or an empty text when it had none.
  QString succeeded(const QString& key);

  /// A key that keeps failing: its last failure line, since when and how
  /// often it failed.
  struct Failure {
    QString key;
    QString line;
    QDateTime since;
    int attempts = 0;
  };
  /// Every key that failed and has not succeeded since, in no order.
  QList<Failure> list() const;

 private:
  struct Entry {
    QString line;
    int attempts = 0;
    QDateTime firstFailure;
    QDateTime lastLogged;
    QDateTime lastAttempt;
    int permanentInARow = 0;
    QDateTime nextAttempt;
  };

  void forgetStale(const QDateTime& now);

  QHash<QString, Entry> m_entries;
};

}  // namespace corvex
