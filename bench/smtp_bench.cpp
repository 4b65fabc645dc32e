// The whole program mailing over a real SMTP server (aiosmtpd with STARTTLS,
// AUTH and PIPELINING) behind a proxy that delays every chunk 25 ms each way,
// like a provider 50 ms away: `corvex --once` over N pending documents in
// SQLite. Prints, per number of sessions, the wall time of the run, messages
// per second, connections, round trips per message (connect, login and QUIT
// included) and per session, and whether every document was mailed once and
// marked.
//
//   corvex_smtp_bench [--program PATH] [--no-pipelining] [--max-per-connection N]
//                     [--nodemailer DIR] [MESSAGES [CONNECTIONS ...]]   (default 100 1 4)
//
// --nodemailer DIR sends the same number of mails (a 6 kB JSON and a 40 kB
// PDF attached, as a document mail carries) with nodemailer's SMTP pool
// instead, DIR holding node_modules/nodemailer (`npm install nodemailer`).
#include "demo/demo_database.h"
#include "support/delay_proxy.h"
#include "support/smtp_peer.h"
#include "support/temp_app_dir.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QMap>
#include <QProcess>

#include <cstdio>

namespace corvex {
namespace {

constexpr int kDelayMs = 25;
constexpr int kRunTimeoutMs = 600000;
const QString kUser = QStringLiteral("dte");
const QString kPassword = QStringLiteral("bench-pw");

struct BenchOptions {
  QString program = QStringLiteral(CORVEX_BINARY);
  bool pipelining = true;
  int maxPerConnection = 100;
  int messages = 100;
  QString nodemailer;
};

void buildWorkspace(const test::TempAppDir& dir, int messages, int port, int connections, int maxPerConnection) {
  buildDemoDatabase(dir.filePath(QStringLiteral("bench.db")), DemoContent::Documents,
                    documentCopiesSql(messages) +
                        QStringLiteral("UPDATE Parametros SET Valor = '127.0.0.1' WHERE Parametro = 'sysSMTPServer';\n"
                                       "UPDATE Parametros SET Valor = '%1' WHERE Parametro = 'sysSMTPPort';\n"
                                       "UPDATE Parametros SET Valor = '%2' WHERE Parametro = 'sysSMTPUser';\n"
                                       "UPDATE Parametros SET Valor = '%3' WHERE Parametro = 'sysSMTPPassword';\n")
                            .arg(port)
                            .arg(kUser, kPassword));
  dir.writeFile(QStringLiteral("main.ini"), QStringLiteral("[DB]\r\ncString=sqlite:bench.db\r\n[SMTP]\r\n"
                                                           "Connections=%1\r\nMaxMessagesPerConnection=%2\r\n")
                                                .arg(connections)
                                                .arg(maxPerConnection)
                                                .toLatin1());
}

// Documents whose buyer got other than exactly one message, or whose mark
// does not match their mail.
int brokenDocuments(const test::TempAppDir& dir, const test::SmtpPeer& peer, int* marked) {
  QMap<QString, int> received;
  for (const QString& file : peer.messageFiles())
    for (const QJsonValue& rcpt : test::SmtpPeer::envelope(file)["rcpt_tos"].toArray()) ++received[rcpt.toString()];
  const QStringList markedMails = dir.querySqlite(
      QStringLiteral("bench.db"), QStringLiteral("SELECT EMAIL FROM FACTURAS_ENC WHERE SERIE = 'BM' AND ENVIADA = 1"));
  *marked = int(markedMails.size());
  int broken = 0;
  for (auto it = received.cbegin(); it != received.cend(); ++it)
    if (it.value() != 1 || !markedMails.contains(it.key())) ++broken;
  for (const QString& mail : markedMails)
    if (!received.contains(mail)) ++broken;
  return broken;
}

QString sessionList(const QList<int>& roundTrips) {
  QStringList texts;
  for (int count : roundTrips) texts << QString::number(count);
  return texts.join(u' ');
}

// nodemailer's pool through the same peer and proxy; returns the mails sent.
int sendWithNodemailer(const BenchOptions& options, const test::SmtpPeer& peer, const test::DelayProxy& proxy,
                       int connections) {
  const test::TempAppDir dir;
  QByteArray pdf("%PDF-1.4\n");
  for (int i = 0; pdf.size() < 40000; ++i) pdf += char(i * 7919 % 256);
  dir.writeFile(QStringLiteral("d.pdf"), pdf);
  dir.writeFile(QStringLiteral("d.json"), QByteArray(6000, 'j'));
  QProcess node;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("NODE_PATH"), QDir(options.nodemailer).filePath(QStringLiteral("node_modules")));
  node.setProcessEnvironment(environment);
  node.start(QStringLiteral("node"),
             {QStringLiteral(CORVEX_SOURCE_DIR "/bench/nodemailer_pool.js"), QString::number(proxy.port()), kUser,
              kPassword, peer.caBundle(), QString::number(options.messages), QString::number(connections),
              dir.filePath(QStringLiteral("d.json")), dir.filePath(QStringLiteral("d.pdf"))});
  node.waitForFinished(kRunTimeoutMs);
  return QString::fromUtf8(node.readAllStandardOutput()).trimmed().section(u' ', 1).toInt();
}

int bench(const BenchOptions& options, int connections) {
  test::SmtpPeerOptions peerOptions{test::PeerTls::StartTls, kUser, kPassword, QString(), 0, QString()};
  peerOptions.pipelining = options.pipelining;
  test::SmtpPeer peer(peerOptions);
  test::DelayProxy proxy(peer.port(), kDelayMs);
  if (!options.nodemailer.isEmpty()) {
    QElapsedTimer timer;
    timer.start();
    const int sent = sendWithNodemailer(options, peer, proxy, connections);
    const double elapsed = double(timer.nsecsElapsed()) / 1e9;
    const test::ProxyStats network = proxy.stats();
    std::printf("%-5d %-4s %8.2f %8.2f %6d %9.2f  %7d/%-4d %6s  %s  (nodemailer)\n", connections, "yes", elapsed,
                sent / elapsed, network.connections, double(network.roundTrips) / options.messages, sent,
                options.messages, "-", qPrintable(sessionList(network.sessionRoundTrips)));
    return sent == options.messages ? 0 : 1;
  }
  const test::TempAppDir dir({QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr")});
  buildWorkspace(dir, options.messages, proxy.port(), connections, options.maxPerConnection);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("CURL_CA_BUNDLE"), peer.caBundle());
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

  QElapsedTimer timer;
  timer.start();
  QProcess run;
  run.setProcessEnvironment(environment);
  run.start(options.program, {QStringLiteral("--once"), QStringLiteral("--app-dir"), dir.path()});
  const bool finished = run.waitForFinished(kRunTimeoutMs);
  const int exitCode = finished && run.exitStatus() == QProcess::NormalExit ? run.exitCode() : -1;
  const double elapsed = double(timer.nsecsElapsed()) / 1e9;
  const int sent = peer.stats().messages;
  int marked = 0;
  const int broken = brokenDocuments(dir, peer, &marked);
  const test::ProxyStats network = proxy.stats();
  std::printf("%-5d %-4s %8.2f %8.2f %6d %9.2f  %7d/%-4d %6d  %s%s\n", connections, options.pipelining ? "yes" : "no",
              elapsed, sent / elapsed, network.connections, double(network.roundTrips) / options.messages, marked,
              options.messages, broken, qPrintable(sessionList(network.sessionRoundTrips)),
              exitCode == 0 ? "" : "  (run failed)");
  return exitCode == 0 && broken == 0 && marked == options.messages ? 0 : 1;
}

BenchOptions parse(QStringList& arguments) {
  BenchOptions options;
  if (arguments.size() >= 2 && arguments[0] == QStringLiteral("--program")) {
    options.program = arguments[1];
    arguments = arguments.mid(2);
  }
  options.pipelining = arguments.removeAll(QStringLiteral("--no-pipelining")) == 0;
  const qsizetype node = arguments.indexOf(QStringLiteral("--nodemailer"));
  if (node >= 0 && node + 1 < arguments.size()) {
    options.nodemailer = arguments[node + 1];
    arguments.remove(node, 2);
  }
  const qsizetype max = arguments.indexOf(QStringLiteral("--max-per-connection"));
  if (max >= 0 && max + 1 < arguments.size()) {
    options.maxPerConnection = arguments[max + 1].toInt();
    arguments.remove(max, 2);
  }
  if (!arguments.isEmpty()) options.messages = arguments.takeFirst().toInt();
  if (arguments.isEmpty()) arguments = {QStringLiteral("1"), QStringLiteral("4")};
  return options;
}

}  // namespace
}  // namespace corvex

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QStringList arguments = app.arguments().mid(1);
  const corvex::BenchOptions options = corvex::parse(arguments);
  std::printf("%d documents, delay %d ms each way, MaxMessagesPerConnection %d\n", options.messages, corvex::kDelayMs,
              options.maxPerConnection);
  std::printf("%-5s %-4s %8s %8s %6s %9s  %12s %6s  %s\n", "conns", "pipe", "wall s", "msg/s", "conns", "rt/msg",
              "marked", "broken", "round trips per session");
  int status = 0;
  for (const QString& connections : arguments) status |= corvex::bench(options, connections.toInt());
  return status;
}
