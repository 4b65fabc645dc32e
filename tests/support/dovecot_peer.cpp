#include "support/dovecot_peer.h"

#include <QFile>

namespace corvex::test {

DovecotPeer::DovecotPeer(const DovecotOptions& options) {
  QStringList arguments{QStringLiteral("serve"),
                        QStringLiteral("--folder"),
                        m_dir.filePath(QStringLiteral("dovecot")),
                        QStringLiteral("--maildir"),
                        options.maildir,
                        QStringLiteral("--cert-dir"),
                        options.certDir,
                        QStringLiteral("--user"),
                        options.user,
                        QStringLiteral("--password"),
                        options.password};
  if (!options.tokenLog.isEmpty()) arguments << QStringLiteral("--token-log") << options.tokenLog;
  m_process = std::make_unique<PeerProcess>(supportScript(QStringLiteral("dovecot_server.py")), arguments,
                                            m_dir.filePath(QStringLiteral("stderr.txt")));
}

int DovecotPeer::imapPort() const {
  return readJsonFile(m_dir.filePath(QStringLiteral("dovecot/ports.json")))[QStringLiteral("imap")].toInt();
}

QStringList DovecotPeer::logins() const {
  QFile file(m_dir.filePath(QStringLiteral("dovecot/logins.jsonl")));
  QStringList kinds;
  if (!file.open(QIODevice::ReadOnly)) return kinds;
  for (const QByteArray& line : file.readAll().split('\n')) {
    if (!line.trimmed().isEmpty())
      kinds << readJsonObject(line, QStringLiteral("a login"))[QStringLiteral("kind")].toString();
  }
  return kinds;
}

}  // namespace corvex::test
