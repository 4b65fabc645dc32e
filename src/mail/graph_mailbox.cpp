#include "mail/graph_mailbox.h"

#include "base/error.h"
#include "mail/graph_transport.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>

namespace corvex {

namespace {

constexpr long kTimeoutSeconds = 60;
constexpr long kOk = 200;
constexpr long kCreated = 201;
constexpr long kUnauthorized = 401;

const QString kReceived = QStringLiteral("received");
const QString kIds = QStringLiteral("ids");

QString encoded(const QString& text) { return QString::fromLatin1(QUrl::toPercentEncoding(text)); }

QJsonArray valueArray(const HttpReply& reply) {
  return QJsonDocument::fromJson(reply.body).object()[QStringLiteral("value")].toArray();
}

}  // namespace

GraphMailbox::GraphMailbox(QString base, QString user, std::shared_ptr<TokenCache> tokens)
    : m_base(std::move(base)), m_user(std::move(user)), m_tokens(std::move(tokens)), m_client(kTimeoutSeconds) {}

// A refused token gets one renewal, as for sendMail; a token that cannot be
// had at all is raised as the mailbox's failure.
HttpReply GraphMailbox::request(const QString& path, const QByteArray* postBody) {
  const QString url = m_base + QStringLiteral("/v1.0/users/") + encoded(m_user) + path;
  TokenCache::Token token = m_tokens->token();
  for (bool renewed = false;; renewed = true) {
    const QList<QByteArray> headers{"Authorization: Bearer " + token.value, "Content-Type: application/json"};
    const HttpReply reply = postBody ? m_client.post(url, headers, *postBody) : m_client.get(url, headers);
    if (reply.status != kUnauthorized || renewed) return reply;
    token = m_tokens->renewed(token.value);
  }
}

HttpReply GraphMailbox::required(const QString& what, const QString& path, const QByteArray* postBody) {
  const HttpReply reply = request(path, postBody);
  if (reply.status == kOk || reply.status == kCreated) return reply;
  const QString reason =
      reply.status == 0 ? reply.failure : QStringLiteral("HTTP %1 %2").arg(reply.status).arg(graphError(reply.body));
  throw Error(kMailComponentError, QStringLiteral("Graph %1 failed: %2").arg(what, reason));
}

QStringList GraphMailbox::arrivedAfter(const QJsonObject& cursor, int lookBackDays, int limit) {
  m_cursor = cursor;
  const QString since = cursor.contains(kReceived)
                            ? cursor[kReceived].toString()
                            : QDateTime::currentDateTimeUtc().addDays(-lookBackDays).toString(Qt::ISODate);
  const QStringList seen = cursor[kIds].toVariant().toStringList();
  const QString query = QStringLiteral("?$select=id,receivedDateTime&$orderby=receivedDateTime%20asc&$top=%1&$filter=")
                            .arg(limit + seen.size()) +
                        encoded(QStringLiteral("receivedDateTime ge ") + since);
  QStringList ids;
  for (const QJsonValue& value :
       valueArray(required(QStringLiteral("listing"), QStringLiteral("/mailFolders/inbox/messages") + query))) {
    const QString id = value[QStringLiteral("id")].toString();
    const QString received = value[QStringLiteral("receivedDateTime")].toString();
    if (id.isEmpty() || (received == since && seen.contains(id)) || ids.size() == limit) continue;
    m_received.insert(id, received);
    ids << id;
  }
  return ids;
}

QByteArray GraphMailbox::fetch(const QString& id, qsizetype maxBytes) {
  return required(QStringLiteral("reading a message"), QStringLiteral("/messages/%1/$value").arg(encoded(id)))
      .body.left(maxBytes);
}

QJsonObject GraphMailbox::cursorAfter(const QString& id) {
  const QString received = m_received.value(id);
  QStringList ids =
      received == m_cursor[kReceived].toString() ? m_cursor[kIds].toVariant().toStringList() : QStringList();
  ids << id;
  m_cursor = QJsonObject{{kReceived, received}, {kIds, QJsonArray::fromStringList(ids)}};
  return m_cursor;
}

void GraphMailbox::move(const QString& id, const QString& folder) {
  const QByteArray body = QJsonDocument(QJsonObject{{QStringLiteral("destinationId"), folderId(folder)}}).toJson();
  required(QStringLiteral("move"), QStringLiteral("/messages/%1/move").arg(encoded(id)), &body);
}

// Graph moves by a folder's id; the operator names it by its display name.
QString GraphMailbox::folderId(const QString& name) {
  QString escaped = name;
  escaped.replace(u'\'', QStringLiteral("''"));
  const QJsonArray folders = valueArray(
      required(QStringLiteral("finding the folder"), QStringLiteral("/mailFolders?$select=id&$filter=") +
                                                         encoded(QStringLiteral("displayName eq '%1'").arg(escaped))));
  if (folders.isEmpty())
    throw Error(kMailComponentError, QStringLiteral("the mailbox has no top-level folder named \"%1\"").arg(name));
  return folders.first()[QStringLiteral("id")].toString();
}

}  // namespace corvex
