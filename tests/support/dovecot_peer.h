#pragma once

#include "support/peer_process.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace corvex::test {

struct DovecotOptions {
  QString maildir;  ///< the mailbox served (see PostfixOptions::senderMailbox)
  QString certDir;  ///< the test CA's folder, shared with the other peers
  QString user;
  QString password;
  QString tokenLog = {};  ///< the OAuth peer's request log: its tokens log in too
};

/// A real Dovecot on 127.0.0.1 (tests/support/dovecot_server.py) serving one
/// maildir over IMAPS and over IMAP with STARTTLS, each login checked by the
/// script. Needs root. Started by the constructor, which raises
/// std::runtime_error when it does not answer within 20 s; stopped by the
/// destructor.
class DovecotPeer {
 public:
  explicit DovecotPeer(const DovecotOptions& options);

  int imapsPort() const { return m_process->port(); }
  /// The port of IMAP with STARTTLS.
  int imapPort() const;
  /// How each login the script checked went: "password", "token" or
  /// "refused", in order.
  QStringList logins() const;

 private:
  QTemporaryDir m_dir;
  std::unique_ptr<PeerProcess> m_process;
};

}  // namespace corvex::test
