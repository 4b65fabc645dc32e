#include "support/postfix_peer.h"

#include "support/poll.h"

#include <QDir>
#include <QJsonObject>

namespace corvex::test {

PostfixPeer::PostfixPeer(const PostfixOptions& options, const QString& certDir) : m_certDir(certDir) {
  QStringList arguments{QStringLiteral("serve"),
                        QStringLiteral("--folder"),
                        m_dir.filePath(QStringLiteral("postfix")),
                        QStringLiteral("--cert-dir"),
                        m_certDir,
                        QStringLiteral("--stats"),
                        m_dir.filePath(QStringLiteral("stats.json"))};
  if (!options.user.isEmpty())
    arguments << QStringLiteral("--user") << options.user << QStringLiteral("--password") << options.password;
  if (options.connectionLimit > 0)
    arguments << QStringLiteral("--connection-limit") << QString::number(options.connectionLimit);
  for (const QString& reply : options.recipientReplies) arguments << QStringLiteral("--recipient-reply") << reply;
  if (!options.senderMailbox.isEmpty()) arguments << QStringLiteral("--sender-mailbox") << options.senderMailbox;
  m_process = std::make_unique<PeerProcess>(supportScript(QStringLiteral("postfix_server.py")), arguments,
                                            m_dir.filePath(QStringLiteral("stderr.txt")));
  m_port = m_process->port();
}

PostfixPeer::~PostfixPeer() { m_process->stop(); }

QString PostfixPeer::caBundle() const { return QDir(m_certDir).filePath(QStringLiteral("ca.pem")); }

PostfixStats PostfixPeer::stats() const {
  const QJsonObject stats = readJsonFile(m_dir.filePath(QStringLiteral("stats.json")));
  return PostfixStats{stats["connections"].toInt(),   stats["disconnects"].toInt(),
                      stats["accepted"].toInt(),      stats["delivered"].toInt(),
                      stats["auth_failures"].toInt(), stats["too_many_connections"].toInt(),
                      stats["rsets"].toInt(),         stats["quits"].toInt()};
}

bool PostfixPeer::waitUntilIdle(int timeoutMs) const {
  return pollUntil(
      [this] {
        const PostfixStats now = stats();
        return now.delivered >= now.accepted && now.disconnects >= now.connections;
      },
      timeoutMs);
}

QString PostfixPeer::senderMaildir() const { return m_dir.filePath(QStringLiteral("postfix/mail/sender")); }

QStringList PostfixPeer::messageFiles() const {
  QStringList files;
  const QDir maildir(m_dir.filePath(QStringLiteral("postfix/mail/buyers/new")));
  for (const QString& name : maildir.entryList(QDir::Files, QDir::Name)) files << maildir.filePath(name);
  return files;
}

}  // namespace corvex::test
