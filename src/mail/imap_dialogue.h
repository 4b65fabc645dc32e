#pragma once

#include "mail/mailbox_address.h"
#include "net/tls_connection.h"
#include "oauth/token_cache.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace corvex {

/// Who reads an IMAP mailbox, and how: a token login (SASL XOAUTH2) when
/// `tokens` is set, else the user's password (SASL PLAIN or LOGIN,
/// whichever the server offers, or the LOGIN command).
struct ImapLogin {
  MailboxAddress address;
  QString user;
  QString password;  ///< a secret: never part of a reason
  std::shared_ptr<TokenCache> tokens = nullptr;
};

/// What an IMAP server answered to one command.
struct ImapReply {
  /// One untagged response ("* ..."): its text with each literal left as
  /// "{N}", and the literals' bytes in order.
  struct Untagged {
    QByteArray line;
    QList<QByteArray> literals;
  };
  /// The tagged status was OK.
  bool ok = false;
  /// The tagged status line ("NO [AUTHENTICATIONFAILED] ..."), or why no
  /// reply came.
  QString text;
  QList<Untagged> untagged;
};

/// A conversation with an IMAP server (RFC 3501) in which the program speaks
/// the commands itself, as SmtpDialogue does for SMTP: libcurl connects,
/// secures the connection (TLS from the first byte for imaps, STARTTLS
/// required for imap), checks the certificate and logs in (its
/// CURLOPT_XOAUTH2_BEARER for a token); then the program writes tagged
/// commands and reads their responses, literals included.
///
/// Every wait is bounded: 30 s to connect, 60 s for the login, 30 s for each
/// reply (all shortened by limitedTimeout()); a literal longer than
/// `maxLiteralBytes` ends the conversation. `stopRequested` is asked while
/// libcurl connects and logs in, and gives up there. Any failure closes the
/// dialogue. One dialogue is used by one thread at a time.
class ImapDialogue {
 public:
  ImapDialogue(qsizetype maxLiteralBytes, std::function<bool()> stopRequested);
  ~ImapDialogue();
  ImapDialogue(const ImapDialogue&) = delete;
  ImapDialogue& operator=(const ImapDialogue&) = delete;

  /// Connects and logs in. Returns an empty text on success, else the reason
  /// (the step and the server's or libcurl's words, never a secret). A
  /// refused token login is tried once more with a renewed token. Raises
  /// Error 429 when libcurl itself cannot be set up.
  QString open(const ImapLogin& login);
  bool isOpen() const { return m_connection && m_connection->isOpen(); }

  /// Sends `command` (without tag and line end) and reads its response.
  ImapReply command(const QByteArray& command);
  /// LOGOUT, when still open; its reply is not waited for long.
  void logout();

 private:
  QString connect(const ImapLogin& login, const QByteArray& token);
  std::optional<qsizetype> lineEnd(qsizetype from);
  bool fill();
  std::optional<ImapReply::Untagged> readResponse(QString* failure);

  qsizetype m_maxLiteralBytes;
  std::function<bool()> m_stopRequested;
  std::unique_ptr<TlsConnection> m_connection;
  QByteArray m_received;
  /// Why the last read failed.
  QString m_failure;
  int m_replyTimeoutMs = 0;
  int m_lastTag = 0;
  bool m_loginRefused = false;
};

/// `name` as an IMAP mailbox name in a command: a quoted string, its
/// non-ASCII characters in modified UTF-7 (RFC 3501 5.1.3).
QByteArray imapMailboxName(const QString& name);

}  // namespace corvex
