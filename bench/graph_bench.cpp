// The whole program mailing N pending documents with an OAuth token, once
// over SMTP (aiosmtpd with STARTTLS, PIPELINING and XOAUTH2) and once through
// the Graph emulator of tests/support (HTTPS), each behind the proxy that
// delays every chunk 25 ms each way, like a provider 50 ms away. Prints, per
// transport and number of sessions, the wall time of `corvex --once`,
// messages per second, connections, round trips per message, and the
// documents marked.
//
//   corvex_graph_bench [MESSAGES [CONNECTIONS ...]]   (default 100 1 4)
#include "demo/demo_database.h"
#include "support/delay_proxy.h"
#include "support/oauth_peer.h"
#include "support/smtp_peer.h"
#include "support/temp_app_dir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace corvex {
namespace {

constexpr int kDelayMs = 25;
constexpr int kRunTimeoutMs = 600000;
const QString kUser = QStringLiteral("dte@laceiba.example");

struct Peers {
  QTemporaryDir certs;
  test::SmtpPeer smtp;
  test::OAuthPeer oauth;
  Peers() : smtp(smtpOptions(certs.path())), oauth({certs.path()}) {}

  static test::SmtpPeerOptions smtpOptions(const QString& certDir) {
    test::SmtpPeerOptions options{test::PeerTls::StartTls, {}, {}, {}, 0, certDir};
    options.xoauth2User = kUser;
    options.xoauth2Tokens = {QStringLiteral("tok-1")};
    return options;
  }
};

void buildWorkspace(const test::TempAppDir& dir, int messages, const QString& server, int port, int connections,
                    const Peers& peers) {
  buildDemoDatabase(dir.filePath(QStringLiteral("bench.db")), DemoContent::Documents,
                    documentCopiesSql(messages) +
                        QStringLiteral("UPDATE Parametros SET Valor = '%1' WHERE Parametro = 'sysSMTPServer';\n"
                                       "UPDATE Parametros SET Valor = '%2' WHERE Parametro = 'sysSMTPPort';\n"
                                       "UPDATE Parametros SET Valor = '%3' WHERE Parametro = 'sysSMTPUser';\n")
                            .arg(server)
                            .arg(port)
                            .arg(kUser));
  dir.writeFile(QStringLiteral("main.ini"),
                QStringLiteral("[DB]\r\ncString=sqlite:bench.db\r\n[SMTP]\r\nAuth=xoauth2\r\nConnections=%1\r\n"
                               "[OAuth]\r\nProvider=microsoft\r\nClientId=bench\r\nClientSecret=bench\r\n"
                               "TokenUrl=%2/t/oauth2/v2.0/token\r\n")
                    .arg(connections)
                    .arg(peers.oauth.base())
                    .toLatin1());
}

int bench(int messages, bool graph, int connections) {
  const Peers peers;
  const int target = graph ? peers.oauth.base().section(u':', 2).toInt() : peers.smtp.port();
  const test::DelayProxy proxy(target, kDelayMs);
  const test::TempAppDir dir({QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr")});
  const QString server =
      graph ? QStringLiteral("graph:https://127.0.0.1:%1").arg(proxy.port()) : QStringLiteral("127.0.0.1");
  buildWorkspace(dir, messages, server, proxy.port(), connections, peers);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("CURL_CA_BUNDLE"), peers.smtp.caBundle());
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

  QElapsedTimer timer;
  timer.start();
  QProcess run;
  run.setProcessEnvironment(environment);
  run.start(QStringLiteral(CORVEX_BINARY), {QStringLiteral("--once"), QStringLiteral("--app-dir"), dir.path()});
  const bool finished = run.waitForFinished(kRunTimeoutMs);
  const double elapsed = double(timer.nsecsElapsed()) / 1e9;
  const qsizetype marked =
      dir.querySqlite(QStringLiteral("bench.db"),
                      QStringLiteral("SELECT 1 FROM FACTURAS_ENC WHERE SERIE = 'BM' AND ENVIADA = 1"))
          .size();
  const qsizetype sent = graph ? peers.oauth.messageFiles().size() : peers.smtp.messageFiles().size();
  const test::ProxyStats network = proxy.stats();
  std::printf("%-6s %-5d %8.2f %8.2f %6d %9.2f  %5lld/%-5d %s\n", graph ? "graph" : "smtp", connections, elapsed,
              double(sent) / elapsed, network.connections, double(network.roundTrips) / messages,
              static_cast<long long>(marked), messages, finished && run.exitCode() == 0 ? "" : "(run failed)");
  return finished && run.exitCode() == 0 && marked == messages && sent == messages ? 0 : 1;
}

}  // namespace
}  // namespace corvex

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QStringList arguments = app.arguments().mid(1);
  const int messages = arguments.isEmpty() ? 100 : arguments.takeFirst().toInt();
  if (arguments.isEmpty()) arguments = {QStringLiteral("1"), QStringLiteral("4")};
  std::printf("%d documents, delay %d ms each way, an OAuth token for both\n", messages, corvex::kDelayMs);
  std::printf("%-6s %-5s %8s %8s %6s %9s  %11s\n", "via", "conns", "wall s", "msg/s", "conns", "rt/msg", "marked");
  int status = 0;
  for (const QString& connections : arguments)
    for (const bool graph : {false, true}) status |= corvex::bench(messages, graph, connections.toInt());
  return status;
}
