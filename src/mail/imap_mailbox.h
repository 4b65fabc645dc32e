#pragma once

#include "mail/bounce_mailbox.h"
#include "mail/imap_dialogue.h"

namespace corvex {

/// A folder of an IMAP mailbox (see ImapDialogue for the connection and the
/// login). It is opened read-only (EXAMINE), or read-write (SELECT) only when
/// messages are to be moved; messages are read with BODY.PEEK, which leaves
/// their flags alone, and moved with UID MOVE (RFC 6851), never copied and
/// deleted. The cursor is the folder's UIDVALIDITY and the last UID read: a
/// new UIDVALIDITY (the folder was rebuilt) starts over with the messages of
/// the last days.
class ImapMailbox : public BounceMailbox {
 public:
  /// `maxBytes`: the most any fetch() may ask for.
  ImapMailbox(ImapLogin login, bool forMoving, qsizetype maxBytes, std::function<bool()> stopRequested);

  QStringList arrivedAfter(const QJsonObject& cursor, int lookBackDays, int limit) override;
  QByteArray fetch(const QString& id, qsizetype maxBytes) override;
  QJsonObject cursorAfter(const QString& id) override;
  void move(const QString& id, const QString& folder) override;
  void close() override;

 private:
  ImapReply required(const QByteArray& command);
  QList<qint64> search(const QJsonObject& cursor, int lookBackDays);

  ImapLogin m_login;
  bool m_forMoving;
  ImapDialogue m_dialogue;
  QByteArray m_uidValidity;
  bool m_canMove = false;
};

}  // namespace corvex
