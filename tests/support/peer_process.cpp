#include "support/peer_process.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>

#include <stdexcept>

namespace corvex::test {

namespace {

constexpr int kReadyTimeoutMs = 20000;
constexpr int kStopTimeoutMs = 5000;

}  // namespace

// aiosmtpd comes from Debian, so Debian's interpreter is the one that has it,
// even where another python3 comes first on PATH.
QString python() {
  const QString chosen = qEnvironmentVariable("CORVEX_PYTHON");
  if (!chosen.isEmpty()) return chosen;
  return QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                           : QStringLiteral("python3");
}

QString supportScript(const QString& name) { return QStringLiteral(CORVEX_SOURCE_DIR "/tests/support/") + name; }

QJsonObject readJsonObject(const QByteArray& text, const QString& what) {
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(text, &error);
  if (error.error != QJsonParseError::NoError || !document.isObject())
    throw std::runtime_error((what + QStringLiteral(": no JSON: ") + error.errorString()).toStdString());
  return document.object();
}

QJsonObject readJsonFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read " + path.toStdString());
  return readJsonObject(file.readAll(), path);
}

PeerProcess::PeerProcess(const QString& script, const QStringList& arguments, const QString& stderrFile) {
  // To a file: an unread pipe would fill up and stall the peer.
  m_process.setStandardErrorFile(stderrFile);
  m_process.start(python(), QStringList{script} + arguments);
  const QDeadlineTimer deadline(kReadyTimeoutMs);
  QByteArray output;
  while (!output.contains('\n') && !deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
    m_process.waitForReadyRead(200);
    output += m_process.readAllStandardOutput();
  }
  if (output.startsWith("READY ")) m_port = output.mid(6).trimmed().toInt();
  if (m_port > 0) return;
  stop();
  QFile errors(stderrFile);
  const QString reason = QString::fromLocal8Bit(output + (errors.open(QIODevice::ReadOnly) ? errors.readAll() : ""));
  throw std::runtime_error((script + QStringLiteral(" did not start: ") + reason).toStdString());
}

PeerProcess::~PeerProcess() { stop(); }

void PeerProcess::stop() {
  if (m_process.state() == QProcess::NotRunning) return;
  m_process.terminate();
  if (!m_process.waitForFinished(kStopTimeoutMs)) {
    m_process.kill();
    m_process.waitForFinished(kStopTimeoutMs);
  }
}

}  // namespace corvex::test
