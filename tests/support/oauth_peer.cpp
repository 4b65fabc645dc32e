#include "support/oauth_peer.h"

#include <QDir>
#include <QFile>

namespace corvex::test {

namespace {

QStringList serveArguments(const OAuthPeerOptions& options, const QTemporaryDir& dir) {
  QStringList arguments{QStringLiteral("serve"),
                        QStringLiteral("--folder"),
                        dir.filePath(QStringLiteral("messages")),
                        QStringLiteral("--cert-dir"),
                        options.certDir,
                        QStringLiteral("--log"),
                        dir.filePath(QStringLiteral("requests.jsonl")),
                        QStringLiteral("--retry-after"),
                        options.retryAfterText.isEmpty() ? QString::number(options.retryAfter) : options.retryAfterText,
                        QStringLiteral("--expires-in"),
                        QString::number(options.expiresIn)};
  if (!options.refuse.isEmpty())
    arguments << QStringLiteral("--refuse") << options.refuse << QStringLiteral("--refuse-description")
              << options.refuseDescription;
  if (!options.publicKey.isEmpty()) arguments << QStringLiteral("--public-key") << options.publicKey;
  if (options.revokeFirst) arguments << QStringLiteral("--revoke-first");
  for (const QString& fault : options.faults) arguments << QStringLiteral("--fault") << fault;
  if (options.mailbox) arguments << QStringLiteral("--mailbox") << dir.filePath(QStringLiteral("mailbox"));
  if (!options.clientSecret.isEmpty()) arguments << QStringLiteral("--client-secret") << options.clientSecret;
  for (const QString& token : options.refreshTokens) arguments << QStringLiteral("--refresh-token") << token;
  if (options.rotate) arguments << QStringLiteral("--rotate");
  if (options.stallToken) arguments << QStringLiteral("--stall-token");
  return arguments;
}

}  // namespace

OAuthPeer::OAuthPeer(OAuthPeerOptions options) {
  QDir(m_dir.path()).mkpath(QStringLiteral("messages"));
  QDir(m_dir.path()).mkpath(QStringLiteral("mailbox"));
  m_process =
      std::make_unique<PeerProcess>(supportScript(QStringLiteral("oauth_server.py")), serveArguments(options, m_dir),
                                    m_dir.filePath(QStringLiteral("stderr.txt")));
}

QString OAuthPeer::base() const { return QStringLiteral("https://127.0.0.1:%1").arg(m_process->port()); }

QString OAuthPeer::mailboxFolder() const { return m_dir.filePath(QStringLiteral("mailbox")); }

QString OAuthPeer::requestLog() const { return m_dir.filePath(QStringLiteral("requests.jsonl")); }

QList<QJsonObject> OAuthPeer::requests(const QString& kind) const {
  QFile file(m_dir.filePath(QStringLiteral("requests.jsonl")));
  QList<QJsonObject> found;
  if (!file.open(QIODevice::ReadOnly)) return found;
  for (const QByteArray& line : file.readAll().split('\n')) {
    if (line.trimmed().isEmpty()) continue;
    const QJsonObject request = readJsonObject(line, QStringLiteral("a request line"));
    if (request[QStringLiteral("kind")].toString() == kind) found << request;
  }
  return found;
}

QStringList OAuthPeer::messageFiles() const {
  const QDir messages(m_dir.filePath(QStringLiteral("messages")));
  QStringList files;
  for (const QString& name : messages.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name))
    files << messages.filePath(name);
  return files;
}

}  // namespace corvex::test
