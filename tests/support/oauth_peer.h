#pragma once

#include "support/peer_process.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace corvex::test {

struct OAuthPeerOptions {
  /// Where the test CA lives (see SmtpPeerOptions::certDir); required, so an
  /// SMTP peer and this one share a CA.
  QString certDir = {};
  QString refuse = {};  ///< not empty: every token request gets this error
  QString refuseDescription = {};
  QString publicKey = {};    ///< PEM: JWT assertions are verified with it
  bool revokeFirst = false;  ///< Graph answers tok-1 with 401
  QStringList faults = {};   ///< "N:STATUS" for the Nth sendMail
  int retryAfter = 1;        ///< Retry-After of a 429 or 503
  int expiresIn = 3599;
  /// Not empty: Retry-After in place of retryAfter, "date+N" (an HTTP date
  /// N s ahead) or "none".
  QString retryAfterText = {};
  QString clientSecret = {};       ///< not empty: another client_secret is refused (AADSTS7000215)
  QStringList refreshTokens = {};  ///< not empty: the refresh tokens a grant may carry
  bool rotate = false;             ///< each refresh token is spent by its use and answered with the next
  bool stallToken = false;         ///< token requests are logged and never answered
  /// Graph serves the Inbox in mailboxFolder() (see the script).
  bool mailbox = false;
};

/// tests/support/oauth_server.py: a token endpoint and Graph's sendMail on
/// 127.0.0.1 over HTTPS, started by the constructor, stopped by the
/// destructor. Raises std::runtime_error when it does not report ready.
class OAuthPeer {
 public:
  explicit OAuthPeer(OAuthPeerOptions options);

  /// https://127.0.0.1:PORT
  QString base() const;
  /// Every request so far, one object each (see the script), with its
  /// "time" (seconds since the epoch).
  QList<QJsonObject> requests(const QString& kind) const;
  /// The messages Graph accepted, oldest first.
  QStringList messageFiles() const;
  /// The Inbox that Graph serves with OAuthPeerOptions::mailbox: its .eml
  /// files are the messages, its folders the mailbox's folders.
  QString mailboxFolder() const;
  /// The log of requests, which names every token issued.
  QString requestLog() const;

 private:
  QTemporaryDir m_dir;
  std::unique_ptr<PeerProcess> m_process;
};

}  // namespace corvex::test
