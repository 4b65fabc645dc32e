#pragma once

#include <QString>

namespace corvex {

/// Where main.ini's [Bounces] Mailbox says the delivery reports arrive.
struct MailboxAddress {
  enum class Kind {
    Imaps,  ///< IMAP over TLS from the first byte (port 993 by default)
    Imap,   ///< IMAP with STARTTLS required (port 143 by default)
    Graph,  ///< the sending mailbox's Inbox through Microsoft Graph
  };
  Kind kind = Kind::Imaps;
  QString host;
  int port = 0;
  /// The IMAP folder, "INBOX" when the address names none.
  QString folder;
  /// Graph: the service's base URL.
  QString graphBase;
  /// Why the text names no mailbox; empty when it does.
  QString problem;
};

/// `text` read as imaps://HOST[:PORT]/FOLDER, imap://HOST[:PORT]/FOLDER (the
/// folder percent-encoded where it must be), graph: or
/// graph:https://HOST[:PORT].
MailboxAddress mailboxAddress(const QString& text);

}  // namespace corvex
