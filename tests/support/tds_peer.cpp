#include "support/tds_peer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>

#include <stdexcept>

namespace corvex::test {

namespace {

constexpr int kReadyTimeoutMs = 20000;
constexpr int kStopTimeoutMs = 5000;

QStringList serveArguments(const QString& databaseFile, const TdsPeerOptions& options, const QString& statsFile) {
  QStringList arguments{QStringLiteral(CORVEX_SOURCE_DIR "/tests/support/tds_server.py"), QStringLiteral("--database"),
                        databaseFile, QStringLiteral("--stats-file"), statsFile};
  for (const QString& type : options.types) arguments << QStringLiteral("--type") << type;
  if (options.delayMs > 0) arguments << QStringLiteral("--delay-ms") << QString::number(options.delayMs);
  if (!options.delayOn.isEmpty()) arguments << QStringLiteral("--delay-on") << options.delayOn;
  if (options.dropAfter >= 0) arguments << QStringLiteral("--drop-after") << QString::number(options.dropAfter);
  if (!options.dropOn.isEmpty()) arguments << QStringLiteral("--drop-on") << options.dropOn;
  if (!options.password.isEmpty()) arguments << QStringLiteral("--password") << options.password;
  for (const QString& denied : options.deny) arguments << QStringLiteral("--deny") << denied;
  return arguments;
}

}  // namespace

TdsPeer::TdsPeer(const QString& databaseFile, const TdsPeerOptions& options) {
  m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("stderr.txt")));
  m_process.start(QStringLiteral("python3"),
                  serveArguments(databaseFile, options, m_dir.filePath(QStringLiteral("stats.json"))));
  const QDeadlineTimer deadline(kReadyTimeoutMs);
  QByteArray output;
  while (!output.contains('\n') && !deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
    m_process.waitForReadyRead(200);
    output += m_process.readAllStandardOutput();
  }
  if (output.startsWith("READY ")) m_port = output.mid(6).trimmed().toInt();
  if (m_port > 0) return;
  stop();
  QFile errors(m_dir.filePath(QStringLiteral("stderr.txt")));
  const QByteArray reason = output + (errors.open(QIODevice::ReadOnly) ? errors.readAll() : QByteArray());
  throw std::runtime_error("TDS peer did not start: " + reason.toStdString());
}

TdsPeer::~TdsPeer() { stop(); }

QString TdsPeer::server() const { return QStringLiteral("127.0.0.1,%1").arg(m_port); }

QJsonObject TdsPeer::stats() const {
  QFile file(m_dir.filePath(QStringLiteral("stats.json")));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QJsonDocument::fromJson(file.readAll()).object();
}

void TdsPeer::stop() {
  if (m_process.state() == QProcess::NotRunning) return;
  m_process.terminate();
  if (!m_process.waitForFinished(kStopTimeoutMs)) {
    m_process.kill();
    m_process.waitForFinished(kStopTimeoutMs);
  }
}

}  // namespace corvex::test
