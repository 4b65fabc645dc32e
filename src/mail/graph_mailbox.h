#pragma once

#include "mail/bounce_mailbox.h"
#include "net/https_client.h"
#include "oauth/token_cache.h"

#include <QHash>

#include <memory>

namespace corvex {

/// The Inbox of one mailbox through Microsoft Graph, with a token from
/// `tokens` (the app needs Mail.ReadWrite): messages are listed by their
/// received time, read whole as MIME ($value, cut at the caller's bound),
/// and moved with Graph's move. Graph's reads leave the isRead flag alone.
/// The cursor is the received time of the last message read and the ids
/// read at that very time, so that messages received within one second are
/// neither skipped nor read twice.
class GraphMailbox : public BounceMailbox {
 public:
  /// `base`: the service's URL (see graphBase()); `user`: the mailbox.
  GraphMailbox(QString base, QString user, std::shared_ptr<TokenCache> tokens);

  QStringList arrivedAfter(const QJsonObject& cursor, int lookBackDays, int limit) override;
  QByteArray fetch(const QString& id, qsizetype maxBytes) override;
  QJsonObject cursorAfter(const QString& id) override;
  void move(const QString& id, const QString& folder) override;
  void close() override {}

 private:
  HttpReply request(const QString& path, const QByteArray* postBody = nullptr);
  HttpReply required(const QString& what, const QString& path, const QByteArray* postBody = nullptr);
  QString folderId(const QString& name);

  QString m_base;
  QString m_user;
  std::shared_ptr<TokenCache> m_tokens;
  HttpsClient m_client;
  /// The received time of each message arrivedAfter() listed, by id.
  QHash<QString, QString> m_received;
  QJsonObject m_cursor;
};

}  // namespace corvex
