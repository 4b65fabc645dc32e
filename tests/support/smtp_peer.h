#pragma once

#include "support/peer_process.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace corvex::test {

/// How the peer protects its connections.
enum class PeerTls { None, StartTls, Implicit };

struct SmtpPeerOptions {
  PeerTls tls = PeerTls::StartTls;
  QString user = {};  ///< empty: no AUTH asked for
  QString password = {};
  QString rejectRecipient = {};  ///< answered with 550 at RCPT
  int port = 0;                  ///< 0: any free port below 32768 (sysSMTPPort is 16-bit signed)
  /// Where the throw-away CA and server certificate live (made on first use);
  /// peers sharing a folder share a CA. Empty: a folder of this peer's own.
  QString certDir = {};
  bool pipelining = true;  ///< offers PIPELINING (RFC 2920) in its EHLO reply
  /// Not empty: AUTH XOAUTH2 for this user with exactly these tokens, the
  /// next one after every `loginsPerToken` logins (0: the first for ever).
  QString xoauth2User = {};
  QStringList xoauth2Tokens = {};
  int loginsPerToken = 0;
  /// Not empty: a wrong login is refused with this reply instead of 535.
  QString authReply = {};
  /// >0: a connection beyond this many open ones is greeted with a 421 and closed.
  int maxConnections = 0;
  /// Not empty: every connection is greeted with this reply and closed.
  QString greeting = {};
  /// This many AUTH exchanges are refused, whatever they carry, from the
  /// refuseLoginsFrom-th on (1: the first).
  int refuseLogins = 0;
  int refuseLoginsFrom = 1;
  /// Not negative: the refusals start with the first AUTH exchange this
  /// many seconds after the peer started, in place of refuseLoginsFrom.
  int refuseLoginsAfterSeconds = -1;
  /// "greeting": connections are never greeted; "auth": AUTH is never
  /// answered. Empty: neither.
  QString stall = {};
};

/// Misbehaviour on demand.
struct SmtpPeerFaults {
  int closeAfter = 0;         ///< >0: the server closes a connection after every N messages on it
  QStringList failures = {};  ///< "N:CODE": the Nth MAIL command (over the peer's life) gets CODE; 421 also closes
  QList<int> dropData = {};   ///< the connection is cut in the middle of DATA of these MAIL command numbers
  /// At the end of DATA, never stored: "421", "451", "552", "554", "drop"
  /// (closed without a reply) or "stall" (no reply ever). Empty: none.
  QString fault = {};
  int faultAt = 0;  ///< the Nth message received gets the fault; 0: every one
  /// "ok,421,drop,slow,reject": the MAIL commands get these faults in turn,
  /// all before any data (see smtp_server.py). Empty: none.
  QString cycle = {};
  /// A shell command run right after the afterMessage-th message was stored.
  QString afterCommand = {};
  int afterMessage = 0;
};

/// What the peer counted so far.
struct SmtpPeerStats {
  int connections = 0;
  int logins = 0;
  int attempts = 0;            ///< MAIL commands
  int messages = 0;            ///< messages accepted
  int quits = 0;               ///< sessions ended politely by the client
  QStringList greetings = {};  ///< the names clients gave in EHLO or HELO, in order
  int auths = 0;               ///< AUTH exchanges, refused ones too
  int rsets = 0;               ///< RSET commands
  int refused = 0;             ///< connections turned away (maxConnections, greeting)
};

/// A real SMTP server on 127.0.0.1 (tests/support/smtp_server.py run by the
/// Debian python3 with aiosmtpd), started by the constructor and stopped by
/// the destructor. Each accepted message lands as one .eml file.
///
/// The constructor raises std::runtime_error when the server does not report
/// ready within 20 s.
class SmtpPeer {
 public:
  explicit SmtpPeer(SmtpPeerOptions options = {}, SmtpPeerFaults faults = {});
  ~SmtpPeer();
  SmtpPeer(const SmtpPeer&) = delete;
  SmtpPeer& operator=(const SmtpPeer&) = delete;

  int port() const { return m_port; }
  /// The PEM file of the CA that signed the server certificate.
  QString caBundle() const;

  /// The stored messages, oldest first.
  QStringList messageFiles() const;
  /// MAIL FROM and RCPT TO of the message stored as `emlFile`:
  /// {"mail_from": "...", "rcpt_tos": ["...", ...]}.
  static QJsonObject envelope(const QString& emlFile);

  SmtpPeerStats stats() const;

  /// Stops the server; its port is then closed (until someone else takes it).
  void stop();

  /// Parses an RFC 5322 file with Python's email package: {"headers": {From,
  /// To, Subject (decoded), Date, Message-ID, MIME-Version}, "content_type",
  /// "body" (base64 of the decoded text part), "attachments": [{"filename",
  /// "content_type", "data" (base64)}], "defects": [...]}. Raises
  /// std::runtime_error when the parser fails.
  static QJsonObject decode(const QString& emlFile);
  /// The bytes of the first attachment of a decoded message whose file name
  /// ends in `suffix`; empty when there is none.
  static QByteArray attachment(const QJsonObject& message, const QString& suffix);

 private:
  QStringList serveArguments(const SmtpPeerOptions& options, const SmtpPeerFaults& faults) const;

  QTemporaryDir m_dir;
  QString m_certDir;
  std::unique_ptr<PeerProcess> m_process;
  int m_port = 0;
};

}  // namespace corvex::test
