#include "support/tds_peer.h"

#include <QFile>
#include <QJsonDocument>

namespace corvex::test {

namespace {

QStringList serveArguments(const QString& databaseFile, const TdsPeerOptions& options, const QString& statsFile) {
  QStringList arguments{QStringLiteral("--database"), databaseFile, QStringLiteral("--stats-file"), statsFile};
  for (const QString& type : options.types) arguments << QStringLiteral("--type") << type;
  if (options.delayMs > 0) arguments << QStringLiteral("--delay-ms") << QString::number(options.delayMs);
  if (!options.delayOn.isEmpty()) arguments << QStringLiteral("--delay-on") << options.delayOn;
  if (options.dropAfter >= 0) arguments << QStringLiteral("--drop-after") << QString::number(options.dropAfter);
  if (!options.dropOn.isEmpty()) arguments << QStringLiteral("--drop-on") << options.dropOn;
  if (!options.stallOn.isEmpty()) arguments << QStringLiteral("--stall-on") << options.stallOn;
  if (!options.user.isEmpty()) arguments << QStringLiteral("--user") << options.user;
  if (!options.password.isEmpty()) arguments << QStringLiteral("--password") << options.password;
  if (!options.catalog.isEmpty()) arguments << QStringLiteral("--catalog") << options.catalog;
  for (const QString& denied : options.deny) arguments << QStringLiteral("--deny") << denied;
  return arguments;
}

}  // namespace

TdsPeer::TdsPeer(const QString& databaseFile, const TdsPeerOptions& options)
    : m_process(std::make_unique<PeerProcess>(
          supportScript(QStringLiteral("tds_server.py")),
          serveArguments(databaseFile, options, m_dir.filePath(QStringLiteral("stats.json"))),
          m_dir.filePath(QStringLiteral("stderr.txt")))) {}

TdsPeer::~TdsPeer() = default;

int TdsPeer::port() const { return m_process->port(); }

QString TdsPeer::server() const { return QStringLiteral("127.0.0.1,%1").arg(port()); }

QJsonObject TdsPeer::stats() const {
  QFile file(m_dir.filePath(QStringLiteral("stats.json")));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QJsonDocument::fromJson(file.readAll()).object();
}

void TdsPeer::stop() { m_process->stop(); }

}  // namespace corvex::test
