#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace corvex {

/// A mailbox that delivery reports arrive in, read without changing it: no
/// flag is set or relied on (the sending mailbox is often a person's too),
/// nothing is deleted, and a message is only ever moved when the operator
/// names a folder for it. Where the last read ended is a cursor that the
/// caller keeps between reads.
///
/// Every operation raises Error with the reason when the mailbox cannot be
/// read; one mailbox is used by one thread at a time.
class BounceMailbox {
 public:
  virtual ~BounceMailbox() = default;

  /// Connects and logs in, then lists the messages that arrived after
  /// `cursor` (an empty one: those of the last `lookBackDays` days), oldest
  /// first, at most `limit` of them.
  virtual QStringList arrivedAfter(const QJsonObject& cursor, int lookBackDays, int limit) = 0;
  /// The first `maxBytes` bytes of message `id` (all of a smaller one).
  virtual QByteArray fetch(const QString& id, qsizetype maxBytes) = 0;
  /// The cursor that stands right after message `id`, one arrivedAfter()
  /// listed; asked in the order they were listed.
  virtual QJsonObject cursorAfter(const QString& id) = 0;
  /// Moves message `id` into `folder` of the same mailbox.
  virtual void move(const QString& id, const QString& folder) = 0;
  /// Ends the session politely.
  virtual void close() = 0;
};

}  // namespace corvex
