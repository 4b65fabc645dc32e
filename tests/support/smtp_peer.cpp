#include "support/smtp_peer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <stdexcept>

namespace corvex::test {

namespace {

constexpr int kDecodeTimeoutMs = 20000;

QString script() { return supportScript(QStringLiteral("smtp_server.py")); }

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

}  // namespace

SmtpPeer::SmtpPeer(SmtpPeerOptions options, SmtpPeerFaults faults)
    : m_certDir(options.certDir.isEmpty() ? m_dir.filePath(QStringLiteral("certs")) : options.certDir) {
  QDir(m_dir.path()).mkpath(QStringLiteral("messages"));
  m_process = std::make_unique<PeerProcess>(script(), serveArguments(options, faults),
                                            m_dir.filePath(QStringLiteral("stderr.txt")));
  m_port = m_process->port();
}

SmtpPeer::~SmtpPeer() { stop(); }

QStringList SmtpPeer::serveArguments(const SmtpPeerOptions& options, const SmtpPeerFaults& faults) const {
  QStringList arguments{
      QStringLiteral("serve"),  QStringLiteral("--folder"),    m_dir.filePath(QStringLiteral("messages")),
      QStringLiteral("--port"), QString::number(options.port), QStringLiteral("--tls"),
      tlsName(options.tls),     QStringLiteral("--cert-dir"),  m_certDir};
  if (!options.user.isEmpty())
    arguments << QStringLiteral("--user") << options.user << QStringLiteral("--password") << options.password;
  if (!options.xoauth2User.isEmpty())
    arguments << QStringLiteral("--xoauth2-user") << options.xoauth2User << QStringLiteral("--xoauth2-logins-per-token")
              << QString::number(options.loginsPerToken);
  for (const QString& token : options.xoauth2Tokens) arguments << QStringLiteral("--xoauth2-token") << token;
  if (!options.rejectRecipient.isEmpty()) arguments << QStringLiteral("--reject") << options.rejectRecipient;
  if (!options.pipelining) arguments << QStringLiteral("--no-pipelining");
  if (!options.authReply.isEmpty()) arguments << QStringLiteral("--auth-reply") << options.authReply;
  if (options.maxConnections > 0)
    arguments << QStringLiteral("--max-connections") << QString::number(options.maxConnections);
  if (!options.greeting.isEmpty()) arguments << QStringLiteral("--greeting") << options.greeting;
  if (options.refuseLogins > 0)
    arguments << QStringLiteral("--refuse-logins") << QString::number(options.refuseLogins)
              << QStringLiteral("--refuse-logins-from") << QString::number(options.refuseLoginsFrom);
  if (options.refuseLoginsAfterSeconds >= 0)
    arguments << QStringLiteral("--refuse-logins-after") << QString::number(options.refuseLoginsAfterSeconds);
  if (!options.stall.isEmpty()) arguments << QStringLiteral("--stall") << options.stall;
  if (!faults.cycle.isEmpty()) arguments << QStringLiteral("--cycle") << faults.cycle;
  if (!faults.fault.isEmpty())
    arguments << QStringLiteral("--fault") << faults.fault << QStringLiteral("--fault-at")
              << QString::number(faults.faultAt);
  if (!faults.afterCommand.isEmpty())
    arguments << QStringLiteral("--after") << QString::number(faults.afterMessage) << QStringLiteral("--run")
              << faults.afterCommand;
  if (faults.closeAfter > 0) arguments << QStringLiteral("--close-after") << QString::number(faults.closeAfter);
  for (const QString& failure : faults.failures) arguments << QStringLiteral("--fail") << failure;
  for (int attempt : faults.dropData) arguments << QStringLiteral("--drop-data") << QString::number(attempt);
  arguments << QStringLiteral("--stats") << m_dir.filePath(QStringLiteral("stats.json"));
  return arguments;
}

void SmtpPeer::stop() {
  if (m_process) m_process->stop();
}

SmtpPeerStats SmtpPeer::stats() const {
  const QJsonObject stats = readJsonFile(m_dir.filePath(QStringLiteral("stats.json")));
  QStringList greetings;
  for (const QJsonValue& name : stats["greetings"].toArray()) greetings << name.toString();
  return SmtpPeerStats{stats["connections"].toInt(), stats["logins"].toInt(), stats["attempts"].toInt(),
                       stats["messages"].toInt(),    stats["quits"].toInt(),  greetings,
                       stats["auths"].toInt(),       stats["rsets"].toInt(),  stats["refused"].toInt()};
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
  return readJsonFile(emlFile.chopped(4) + QStringLiteral(".envelope.json"));
}

QByteArray SmtpPeer::attachment(const QJsonObject& message, const QString& suffix) {
  for (const auto& value : message.value(QStringLiteral("attachments")).toArray()) {
    const QJsonObject part = value.toObject();
    if (part.value(QStringLiteral("filename")).toString().endsWith(suffix))
      return QByteArray::fromBase64(part.value(QStringLiteral("data")).toString().toLatin1());
  }
  return {};
}

QJsonObject SmtpPeer::decode(const QString& emlFile) {
  QProcess decoder;
  decoder.start(python(), {script(), QStringLiteral("decode"), emlFile});
  if (!decoder.waitForFinished(kDecodeTimeoutMs) || decoder.exitCode() != 0)
    throw std::runtime_error(("decoding failed: " + decoder.readAllStandardError()).toStdString());
  return readJsonObject(decoder.readAllStandardOutput(), emlFile);
}

}  // namespace corvex::test
