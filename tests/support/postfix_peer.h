#pragma once

#include "support/peer_process.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace corvex::test {

struct PostfixOptions {
  QString user = {};  ///< the SASL account the server wants for sending
  QString password = {};
  int connectionLimit = 0;         ///< smtpd_client_connection_count_limit; 0: none
  QStringList recipientReplies{};  ///< "ADDRESS=REPLY": RCPT TO that address gets REPLY
  /// Not empty: the one mailbox of its domain (senderMaildir()); every other
  /// address of the domain is taken and then bounced as an unknown user.
  QString senderMailbox = {};
};

/// What the server's log counted so far.
struct PostfixStats {
  int connections = 0;
  int disconnects = 0;
  int accepted = 0;            ///< messages taken into the queue
  int delivered = 0;           ///< messages delivered into the maildir
  int authFailures = 0;        ///< SASL exchanges refused
  int tooManyConnections = 0;  ///< connections turned away by the connection limit
  int rsets = 0;
  int quits = 0;
};

/// A real Postfix on 127.0.0.1 (tests/support/postfix_server.py: Debian's
/// package with its configuration, queue and log in a folder of its own,
/// STARTTLS with the certificate of the SMTP peer's test CA, Cyrus SASL with
/// a sasldb of its own); it relays nothing and keeps every message to
/// example.com in a maildir. Needs root. Started by the constructor, which
/// raises std::runtime_error when it does not answer within 20 s; stopped by
/// the destructor.
class PostfixPeer {
 public:
  PostfixPeer(const PostfixOptions& options, const QString& certDir);
  ~PostfixPeer();
  PostfixPeer(const PostfixPeer&) = delete;
  PostfixPeer& operator=(const PostfixPeer&) = delete;

  int port() const { return m_port; }
  QString caBundle() const;
  PostfixStats stats() const;
  /// Waits up to `timeoutMs` until every accepted message was delivered and
  /// every session logged its end (with its count of commands).
  bool waitUntilIdle(int timeoutMs) const;
  /// The delivered messages, one file each.
  QStringList messageFiles() const;
  /// The maildir of PostfixOptions::senderMailbox, where bounces land.
  QString senderMaildir() const;

 private:
  QTemporaryDir m_dir;
  QString m_certDir;
  std::unique_ptr<PeerProcess> m_process;
  int m_port = 0;
};

}  // namespace corvex::test
