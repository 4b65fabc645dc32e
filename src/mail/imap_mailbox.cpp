#include "mail/imap_mailbox.h"

#include "base/error.h"

#include <QDate>
#include <QRegularExpression>

#include <algorithm>
#include <array>

namespace corvex {

namespace {

const QString kUidValidity = QStringLiteral("uidValidity");
const QString kLastUid = QStringLiteral("lastUid");

// IMAP's date ("7-Dec-2026") names its months in English, whatever the
// machine's language.
QByteArray imapDate(const QDate& day) {
  static constexpr std::array kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  return QByteArray::number(day.day()) + '-' + kMonths[std::size_t(day.month() - 1)] + '-' +
         QByteArray::number(day.year());
}

// "SELECT failed: NO [NONEXISTENT] Mailbox doesn't exist": the command's
// verb and the server's words; a UID command keeps its second word.
QString failureOf(const QByteArray& command, const ImapReply& reply) {
  const QList<QByteArray> words = command.split(' ');
  const QByteArray verb = words.first() == "UID" ? words.first() + ' ' + words.value(1) : words.first();
  return QStringLiteral("%1 failed: %2").arg(QString::fromLatin1(verb), reply.text);
}

QByteArray responseCode(const ImapReply& reply, const QString& code) {
  static const QRegularExpression pattern(QStringLiteral("\\[(\\S+) (\\d+)\\]"));
  for (const ImapReply::Untagged& untagged : reply.untagged) {
    for (const QRegularExpressionMatch& match : pattern.globalMatch(QString::fromLatin1(untagged.line))) {
      if (match.captured(1).compare(code, Qt::CaseInsensitive) == 0) return match.captured(2).toLatin1();
    }
  }
  return {};
}

bool offers(const ImapReply& capability, const QByteArray& name) {
  for (const ImapReply::Untagged& untagged : capability.untagged) {
    for (const QByteArray& word : untagged.line.split(' ')) {
      if (word.compare(name, Qt::CaseInsensitive) == 0) return true;
    }
  }
  return false;
}

}  // namespace

ImapMailbox::ImapMailbox(ImapLogin login, bool forMoving, qsizetype maxBytes, std::function<bool()> stopRequested)
    : m_login(std::move(login)), m_forMoving(forMoving), m_dialogue(maxBytes, std::move(stopRequested)) {}

ImapReply ImapMailbox::required(const QByteArray& command) {
  ImapReply reply = m_dialogue.command(command);
  if (!reply.ok) throw Error(kMailComponentError, failureOf(command, reply));
  return reply;
}

QStringList ImapMailbox::arrivedAfter(const QJsonObject& cursor, int lookBackDays, int limit) {
  if (const QString failure = m_dialogue.open(m_login); !failure.isEmpty()) throw Error(kMailComponentError, failure);
  m_canMove = offers(required("CAPABILITY"), "MOVE");
  const QByteArray verb = m_forMoving ? "SELECT " : "EXAMINE ";
  m_uidValidity = responseCode(required(verb + imapMailboxName(m_login.address.folder)), kUidValidity);
  QStringList ids;
  for (const qint64 uid : search(cursor, lookBackDays)) {
    if (ids.size() == limit) break;
    ids << QString::number(uid);
  }
  return ids;
}

// UIDs after the cursor's, ascending. "UID n:*" always names the newest
// message too, even one below n, so the list is cut at the cursor.
QList<qint64> ImapMailbox::search(const QJsonObject& cursor, int lookBackDays) {
  const bool sameFolder = !m_uidValidity.isEmpty() && cursor[kUidValidity].toString().toLatin1() == m_uidValidity &&
                          cursor.contains(kLastUid);
  const qint64 last = sameFolder ? cursor[kLastUid].toInteger() : 0;
  const QByteArray criteria = sameFolder ? "UID " + QByteArray::number(last + 1) + ":*"
                                         : "SINCE " + imapDate(QDate::currentDate().addDays(-lookBackDays));
  QList<qint64> uids;
  for (const ImapReply::Untagged& untagged : required("UID SEARCH " + criteria).untagged) {
    if (!untagged.line.startsWith("* SEARCH")) continue;
    for (const QByteArray& word : untagged.line.mid(8).simplified().split(' ')) {
      bool ok = false;
      const qint64 uid = word.toLongLong(&ok);
      if (ok && uid > last) uids << uid;
    }
  }
  std::sort(uids.begin(), uids.end());
  uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
  return uids;
}

QByteArray ImapMailbox::fetch(const QString& id, qsizetype maxBytes) {
  static const QRegularExpression uid(QStringLiteral("\\bUID (\\d+)\\b"));
  const ImapReply reply =
      required("UID FETCH " + id.toLatin1() + " (BODY.PEEK[]<0." + QByteArray::number(maxBytes) + ">)");
  for (const ImapReply::Untagged& untagged : reply.untagged) {
    const QRegularExpressionMatch match = uid.match(QString::fromLatin1(untagged.line));
    if (match.hasMatch() && match.captured(1) == id && !untagged.literals.isEmpty()) return untagged.literals.first();
  }
  throw Error(kMailComponentError, QStringLiteral("message UID %1 is no longer there").arg(id));
}

QJsonObject ImapMailbox::cursorAfter(const QString& id) {
  return QJsonObject{{kUidValidity, QString::fromLatin1(m_uidValidity)}, {kLastUid, id.toLongLong()}};
}

void ImapMailbox::move(const QString& id, const QString& folder) {
  if (!m_canMove)
    throw Error(kMailComponentError,
                QStringLiteral("the server offers no MOVE, so the report stays where it is (nothing is deleted)"));
  required("UID MOVE " + id.toLatin1() + ' ' + imapMailboxName(folder));
}

void ImapMailbox::close() { m_dialogue.logout(); }

}  // namespace corvex
