#include "mail/mailbox_address.h"

#include "mail/graph_transport.h"

#include <QUrl>

#include <algorithm>

namespace corvex {

namespace {

constexpr int kImapsPort = 993;
constexpr int kImapPort = 143;

MailboxAddress refused(const QString& text) {
  MailboxAddress address;
  address.problem =
      QStringLiteral("\"%1\" names no mailbox: give imaps://HOST[:PORT]/FOLDER, imap://HOST[:PORT]/FOLDER or graph:")
          .arg(text);
  return address;
}

MailboxAddress graphMailbox(const QString& text) {
  MailboxAddress address;
  address.kind = MailboxAddress::Kind::Graph;
  address.graphBase = graphBase(text);
  address.problem = graphServerProblem(text);
  return address;
}

}  // namespace

MailboxAddress mailboxAddress(const QString& text) {
  const QString trimmed = text.trimmed();
  if (isGraphServer(trimmed)) return graphMailbox(trimmed);
  const QUrl url(trimmed, QUrl::StrictMode);
  const QString scheme = url.scheme().toLower();
  if (!url.isValid() || url.host().isEmpty() ||
      (scheme != QStringLiteral("imaps") && scheme != QStringLiteral("imap")) || !url.userInfo().isEmpty() ||
      url.hasQuery() || url.hasFragment())
    return refused(trimmed);
  MailboxAddress address;
  address.kind = scheme == QStringLiteral("imaps") ? MailboxAddress::Kind::Imaps : MailboxAddress::Kind::Imap;
  address.host = url.host();
  address.port = url.port(address.kind == MailboxAddress::Kind::Imaps ? kImapsPort : kImapPort);
  address.folder = url.path(QUrl::FullyDecoded).mid(1);
  if (address.folder.isEmpty()) address.folder = QStringLiteral("INBOX");
  // The folder goes into IMAP commands: no line break may end one early.
  if (std::any_of(address.folder.begin(), address.folder.end(), [](QChar c) { return c.unicode() < 0x20; }))
    return refused(trimmed);
  return address;
}

}  // namespace corvex
