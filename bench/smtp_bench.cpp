// Mailing over a real SMTP server (aiosmtpd with STARTTLS and AUTH) behind a
// proxy that delays every chunk 25 ms each way, like a provider 50 ms away.
// Prints messages per second, connections, logins and round trips per
// message.
//
//   corvex_smtp_bench [MESSAGES] [MaxMessagesPerConnection]   (default 100 100)
// A MaxMessagesPerConnection of 1 behaves like a client that connects and
// logs in for every message.
#include "base/clock.h"
#include "log/daily_log.h"
#include "mail/mailer.h"
#include "support/delay_proxy.h"
#include "support/smtp_peer.h"
#include "support/temp_app_dir.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>

namespace corvex {
namespace {

constexpr int kDelayMs = 25;

// A PDF-sized attachment and a JSON one, as a document mail carries.
void writeAttachments(const test::TempAppDir& dir) {
  QByteArray pdf("%PDF-1.4\n");
  for (int i = 0; pdf.size() < 40000; ++i) pdf += char(i * 7919 % 256);
  dir.writeFile(QStringLiteral("files/d.pdf"), pdf);
  dir.writeFile(QStringLiteral("files/d.json"), QByteArray(6000, 'j'));
}

int bench(int messages, int maxPerConnection) {
  const QString user = QStringLiteral("dte");
  const QString password = QStringLiteral("bench-pw");
  test::SmtpPeer peer(test::SmtpPeerOptions{test::PeerTls::StartTls, user, password, QString(), 0, QString()});
  test::DelayProxy proxy(peer.port(), kDelayMs);
  qputenv("CURL_CA_BUNDLE", peer.caBundle().toLocal8Bit());

  const test::TempAppDir dir({QStringLiteral("logs"), QStringLiteral("files")});
  writeAttachments(dir);
  SystemClock clock;
  DailyLog log(dir.folder(), clock);
  Settings settings;
  settings.sysSMTPServer = QStringLiteral("127.0.0.1");
  settings.sysSMTPPort = static_cast<std::int16_t>(proxy.port());
  settings.sysSMTPUser = user;
  settings.sysSMTPPassword = password;
  settings.sysSMTPFrom = QStringLiteral("dte@laceiba.example");
  settings.MaxMessagesPerConnection = maxPerConnection;
  Mailer mailer(settings, dir.folder(), log, clock);

  QElapsedTimer timer;
  timer.start();
  int sent = 0;
  {
    const Mailer::RunScope run(mailer);
    for (int i = 0; i < messages && !mailer.sendingStopped(); ++i) {
      mailer.SendMail(QStringLiteral("Envío de DTE"), QStringLiteral("Estimado (a): ..."),
                      QStringLiteral("buyer%1@example.com").arg(i), dir.filePath(QStringLiteral("files/d.json")),
                      dir.filePath(QStringLiteral("files/d.pdf")), QStringLiteral("BM-%1").arg(i));
      sent += mailer.MailSent() ? 1 : 0;
    }
  }
  const double elapsed = double(timer.nsecsElapsed()) / 1e9;
  const test::ProxyStats network = proxy.stats();
  const test::SmtpPeerStats server = peer.stats();
  std::printf("messages %d/%d, MaxMessagesPerConnection %d, delay %d ms each way\n", sent, messages, maxPerConnection,
              kDelayMs);
  std::printf("  %.2f s, %.2f messages/s\n", elapsed, sent / elapsed);
  std::printf("  connections %d, logins %d, round trips %d (%.2f per message, QUIT included)\n", network.connections,
              server.logins, network.roundTrips, double(network.roundTrips) / messages);
  return sent == messages ? 0 : 1;
}

}  // namespace
}  // namespace corvex

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QStringList arguments = app.arguments();
  const int messages = arguments.size() > 1 ? arguments[1].toInt() : 100;
  const int maxPerConnection = arguments.size() > 2 ? arguments[2].toInt() : 100;
  return corvex::bench(messages, maxPerConnection);
}
