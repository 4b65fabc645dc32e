#include "support/smtp_peer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>

#include <stdexcept>

namespace corvex::test {

namespace {

constexpr int kReadyTimeoutMs = 20000;
constexpr int kStopTimeoutMs = 5000;

// aiosmtpd comes from Debian, so Debian's interpreter is the one that has it,
// even where another python3 comes first on PATH. CORVEX_PYTHON overrides.
QString python() {
  const QString chosen = qEnvironmentVariable("CORVEX_PYTHON");
  if (!chosen.isEmpty()) return chosen;
  return QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                           : QStringLiteral("python3");
}

QString script() { return QStringLiteral(CORVEX_SOURCE_DIR "/tests/support/smtp_server.py"); }

QString tlsName(PeerTls tls) {
  switch (tls) {
    case PeerTls::StartTls:
      return QStringLiteral("starttls");
    case PeerTls::Implicit:
      return QStringLiteral("implicit");
    case PeerTls::None:
      break;
  }
  return QStringLiteral("none");
}

QJsonObject readJson(const QByteArray& text, const QString& what) {
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(text, &error);
  if (error.error != QJsonParseError::NoError || !document.isObject())
    throw std::runtime_error((what + QStringLiteral(": no JSON: ") + error.errorString()).toStdString());
  return document.object();
}

}  // namespace

SmtpPeer::SmtpPeer(SmtpPeerOptions options)
    : m_certDir(options.certDir.isEmpty() ? m_dir.filePath(QStringLiteral("certs")) : options.certDir) {
  QDir(m_dir.path()).mkpath(QStringLiteral("messages"));
  // To a file: an unread pipe would fill up and stall the server.
  m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("stderr.txt")));
  m_process.start(python(), serveArguments(options));
  waitUntilReady();
}

SmtpPeer::~SmtpPeer() { stop(); }

QStringList SmtpPeer::serveArguments(const SmtpPeerOptions& options) const {
  QStringList arguments{script(),
                        QStringLiteral("serve"),
                        QStringLiteral("--folder"),
                        m_dir.filePath(QStringLiteral("messages")),
                        QStringLiteral("--port"),
                        QString::number(options.port),
                        QStringLiteral("--tls"),
                        tlsName(options.tls),
                        QStringLiteral("--cert-dir"),
                        m_certDir};
  if (!options.user.isEmpty())
    arguments << QStringLiteral("--user") << options.user << QStringLiteral("--password") << options.password;
  if (!options.rejectRecipient.isEmpty()) arguments << QStringLiteral("--reject") << options.rejectRecipient;
  if (!options.fault.isEmpty())
    arguments << QStringLiteral("--fault") << options.fault << QStringLiteral("--fault-at")
              << QString::number(options.faultAt);
  if (!options.afterCommand.isEmpty())
    arguments << QStringLiteral("--after") << QString::number(options.afterMessage) << QStringLiteral("--run")
              << options.afterCommand;
  return arguments;
}

void SmtpPeer::waitUntilReady() {
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
  const QString reason = QString::fromLocal8Bit(output + (errors.open(QIODevice::ReadOnly) ? errors.readAll() : ""));
  throw std::runtime_error(("SMTP peer did not start: " + reason).toStdString());
}

void SmtpPeer::stop() {
  if (m_process.state() == QProcess::NotRunning) return;
  m_process.terminate();
  if (!m_process.waitForFinished(kStopTimeoutMs)) {
    m_process.kill();
    m_process.waitForFinished(kStopTimeoutMs);
  }
}

QString SmtpPeer::caBundle() const { return QDir(m_certDir).filePath(QStringLiteral("ca.pem")); }

QStringList SmtpPeer::messageFiles() const {
  const QDir messages(m_dir.filePath(QStringLiteral("messages")));
  QStringList files;
  for (const QString& name : messages.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name))
    files << messages.filePath(name);
  return files;
}

QJsonObject SmtpPeer::envelope(const QString& emlFile) {
  QFile file(emlFile.chopped(4) + QStringLiteral(".envelope.json"));
  if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error("no envelope for " + emlFile.toStdString());
  return readJson(file.readAll(), emlFile);
}

QJsonObject SmtpPeer::decode(const QString& emlFile) {
  QProcess decoder;
  decoder.start(python(), {script(), QStringLiteral("decode"), emlFile});
  if (!decoder.waitForFinished(kReadyTimeoutMs) || decoder.exitCode() != 0)
    throw std::runtime_error(("decoding failed: " + decoder.readAllStandardError()).toStdString());
  return readJson(decoder.readAllStandardOutput(), emlFile);
}

}  // namespace corvex::test
