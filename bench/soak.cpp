// The real program in poll mode for a while (10 minutes by default) against
// a loopback SMTP server that cycles through faults, all of them before a
// message's data: a 421 that closes the session, a dropped connection, a
// slow reply and a refused recipient, between messages that go through. The
// server refuses the first login after a third of the run (minute 3:20 of
// 10), so the run shows the login wait and its end 5 minutes later, while
// minute 2, the measure of flat, and the end find the program at work.
// The source keeps adding documents.
//
// Every 10 s it samples the program's resident memory, open descriptors and
// threads (from /proc); at the end it stops the program with SIGTERM and
// reports the samples, log bytes and refused logins per hour, and the
// documents added, mailed, marked, duplicated, lost (mailed but neither
// marked nor journaled, or marked but never mailed) and still pending.
//
//   corvex_soak [--program PATH] [--minutes N] [--connections N]
//
// Flat means: resident memory grows less than 2 MiB from minute 2 to the
// end, and descriptors and threads end where they stood at minute 2 (the
// least of each minute's samples: a run in progress holds a session's
// thread and socket for a moment).
#include "demo/demo_database.h"
#include "support/delivery_check.h"
#include "support/smtp_peer.h"
#include "support/temp_app_dir.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QMap>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace corvex {
namespace {

const QString kUser = QStringLiteral("dte");
const QString kPassword = QStringLiteral("soak-pw");
const QString kCycle = QStringLiteral("ok,ok,ok,421,ok,ok,drop,ok,ok,slow,ok,ok,reject,ok,ok");
constexpr int kFirstDocuments = 40;
constexpr int kAddedEachTime = 6;
constexpr int kAddEverySeconds = 20;
constexpr int kSampleEverySeconds = 10;

struct SoakOptions {
  QString program = QStringLiteral(CORVEX_BINARY);
  int minutes = 10;
  int connections = 2;
};

struct Sample {
  double minute;
  qint64 rssKiB;
  int descriptors;
  int threads;
  int marked;
};

// One field of /proc/PID/status, in its unit (kB for VmRSS).
qint64 statusField(qint64 pid, const QByteArray& name) {
  QFile status(QStringLiteral("/proc/%1/status").arg(pid));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith(name + ':')) return line.mid(name.size() + 1).simplified().split(' ').value(0).toLongLong();
  return -1;
}

int descriptors(qint64 pid) {
  return int(QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

// The source at work: `count` more copies of BM-1 beside the program, which
// holds the same file open (SQLite waits for its lock).
void addDocuments(const QString& file, int from, int count) {
  const QString name = QStringLiteral("soak-source");
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(file);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=30000"));
    if (!db.open()) throw std::runtime_error(db.lastError().text().toStdString());
    QSqlQuery query(db);
    for (int numero = from; numero < from + count; ++numero) {
      db.transaction();
      query.exec(QStringLiteral("CREATE TEMP TABLE c AS SELECT * FROM FACTURAS_ENC WHERE SERIE = 'BM' AND NUMERO = 1"));
      query.exec(QStringLiteral("UPDATE c SET NUMERO = %1, ENVIADA = 0, IDDOCUMENTO = printf('SOAK-%06d', %1), "
                                "EMAIL = printf('buyer%d@example.com', %1), FECHA = datetime('now')")
                     .arg(numero));
      query.exec(QStringLiteral("INSERT INTO FACTURAS_ENC SELECT * FROM c"));
      query.exec(QStringLiteral("INSERT INTO FACTURAS_DET SELECT SERIE, %1, LINEA, IDARTICULO, ARTICULO, CANTIDAD, "
                                "PRECIO, PRECIO_FINAL, TLINEA, IITLINEA FROM FACTURAS_DET WHERE SERIE = 'BM' AND "
                                "NUMERO = 1")
                     .arg(numero));
      query.exec(QStringLiteral("DROP TABLE c"));
      if (!db.commit()) throw std::runtime_error(db.lastError().text().toStdString());
    }
    db.close();
  }
  QSqlDatabase::removeDatabase(name);
}

void buildWorkspace(const test::TempAppDir& dir, int port, int connections) {
  buildDemoDatabase(dir.filePath(QStringLiteral("soak.db")), DemoContent::Documents,
                    documentCopiesSql(kFirstDocuments) +
                        QStringLiteral("DELETE FROM FACTURAS_ENC WHERE SERIE <> 'BM';\n") +
                        QStringLiteral("UPDATE Parametros SET Valor = CASE Parametro WHEN 'sysSMTPServer' THEN "
                                       "'127.0.0.1' WHEN 'sysSMTPPort' THEN '%1' WHEN 'sysSMTPUser' THEN '%2' "
                                       "WHEN 'sysSMTPPassword' THEN '%3' ELSE Valor END;\n")
                            .arg(port)
                            .arg(kUser, kPassword));
  dir.writeFile(
      QStringLiteral("main.ini"),
      QStringLiteral("[DB]\r\ncString=sqlite:soak.db\r\n[SMTP]\r\nConnections=%1\r\n").arg(connections).toLatin1());
}

qint64 logBytes(const test::TempAppDir& dir) {
  qint64 bytes = 0;
  const QDir logs(dir.filePath(QStringLiteral("logs")));
  for (const QFileInfo& file : logs.entryInfoList({QStringLiteral("*.txt")}, QDir::Files)) bytes += file.size();
  return bytes;
}

int markedCount(const test::TempAppDir& dir) { return int(test::markedCopies(dir, QStringLiteral("soak.db")).size()); }

// The least of the samples in [from, to) minutes: the program between runs.
Sample idleIn(const QList<Sample>& samples, double from, double to) {
  Sample least{from, -1, -1, -1, 0};
  for (const Sample& s : samples) {
    if (s.minute < from || s.minute >= to) continue;
    const auto lower = [](qint64 a, qint64 b) { return a < 0 ? b : std::min(a, b); };
    least.rssKiB = lower(least.rssKiB, s.rssKiB);
    least.descriptors = int(lower(least.descriptors, s.descriptors));
    least.threads = int(lower(least.threads, s.threads));
  }
  return least;
}

struct Tally {
  int added = 0;
  int mailed = 0;
  int marked = 0;
  int duplicated = 0;
  int lost = 0;
  int pending = 0;
};

// By buyer (copy N goes to buyerN@example.com): a document mailed more than
// once is duplicated; one mailed but neither marked nor journaled, or marked
// but never mailed, is lost. The tests check each message's attachments too
// (delivery_check.h); here it would take a second a message.
Tally tally(const test::TempAppDir& dir, const test::SmtpPeer& peer, int added) {
  QMap<QString, int> received;
  for (const QString& file : peer.messageFiles())
    for (const QJsonValue& rcpt : test::SmtpPeer::envelope(file)["rcpt_tos"].toArray()) ++received[rcpt.toString()];
  const QStringList marked = test::markedCopies(dir, QStringLiteral("soak.db"));
  QStringList kept = marked;
  for (const QString& key : test::journaled(dir))
    kept << QStringLiteral("buyer%1@example.com").arg(key.section(u'-', 1));
  Tally t{added, int(received.size()), int(marked.size()), 0, 0, added - int(kept.size())};
  for (auto it = received.cbegin(); it != received.cend(); ++it) {
    t.duplicated += it.value() > 1 ? 1 : 0;
    t.lost += kept.contains(it.key()) ? 0 : 1;
  }
  for (const QString& buyer : kept) t.lost += received.contains(buyer) ? 0 : 1;
  return t;
}

int soak(const SoakOptions& options) {
  test::SmtpPeerOptions peerOptions{test::PeerTls::StartTls, kUser, kPassword, QString(), 0, QString()};
  peerOptions.refuseLogins = 1;
  peerOptions.refuseLoginsAfterSeconds = options.minutes * 20;
  test::SmtpPeerFaults faults;
  faults.cycle = kCycle;
  const test::SmtpPeer peer(peerOptions, faults);
  const test::TempAppDir dir({QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr")});
  buildWorkspace(dir, peer.port(), options.connections);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("CURL_CA_BUNDLE"), peer.caBundle());
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  QProcess program;
  program.setProcessEnvironment(environment);
  program.setStandardOutputFile(QProcess::nullDevice());
  program.start(options.program, {QStringLiteral("--headless"), QStringLiteral("--app-dir"), dir.path()});
  if (!program.waitForStarted()) return 2;
  const qint64 pid = program.processId();

  std::printf("%7s %9s %5s %7s %7s\n", "minute", "rss MiB", "fds", "threads", "marked");
  QList<Sample> samples;
  QElapsedTimer clock;
  clock.start();
  int added = kFirstDocuments;
  qint64 nextAdd = kAddEverySeconds * 1000;
  qint64 nextSample = 0;
  const qint64 end = qint64(options.minutes) * 60000;
  while (clock.elapsed() < end && program.state() == QProcess::Running) {
    if (clock.elapsed() >= nextAdd) {
      addDocuments(dir.filePath(QStringLiteral("soak.db")), added + 1, kAddedEachTime);
      added += kAddedEachTime;
      nextAdd += kAddEverySeconds * 1000;
    }
    if (clock.elapsed() >= nextSample) {
      const Sample s{double(clock.elapsed()) / 60000.0, statusField(pid, "VmRSS"), descriptors(pid),
                     int(statusField(pid, "Threads")), markedCount(dir)};
      samples << s;
      std::printf("%7.2f %9.2f %5d %7d %7d\n", s.minute, double(s.rssKiB) / 1024.0, s.descriptors, s.threads, s.marked);
      std::fflush(stdout);
      nextSample += kSampleEverySeconds * 1000;
    }
    QThread::msleep(200);
  }
  const double hours = double(clock.elapsed()) / 3600000.0;
  program.terminate();
  const bool ended = program.waitForFinished(120000);

  const Sample atTwo = idleIn(samples, 2.0, 3.0);
  const Sample atEnd = idleIn(samples, options.minutes - 1.0, options.minutes + 1.0);
  const test::SmtpPeerStats stats = peer.stats();
  const Tally t = tally(dir, peer, added);
  const double growthMiB = double(atEnd.rssKiB - atTwo.rssKiB) / 1024.0;
  std::printf("\nidle at minute 2: rss %.2f MiB, %d fds, %d threads; at the end: rss %.2f MiB, %d fds, %d threads\n",
              double(atTwo.rssKiB) / 1024.0, atTwo.descriptors, atTwo.threads, double(atEnd.rssKiB) / 1024.0,
              atEnd.descriptors, atEnd.threads);
  std::printf("resident memory growth from minute 2: %.2f MiB\n", growthMiB);
  std::printf("log: %lld bytes, %.0f bytes per hour\n", static_cast<long long>(logBytes(dir)),
              double(logBytes(dir)) / hours);
  std::printf("logins: %d refused (%.1f per hour), %d accepted; %d connections\n", stats.auths - stats.logins,
              double(stats.auths - stats.logins) / hours, stats.logins, stats.connections);
  std::printf("documents: %d added, %d mailed, %d marked, %d duplicated, %d lost, %d pending\n", t.added, t.mailed,
              t.marked, t.duplicated, t.lost, t.pending);
  std::printf("stopped by SIGTERM: %s, exit code %d\n", ended ? "yes" : "no", program.exitCode());
  const bool flat = growthMiB < 2.0 && atEnd.descriptors <= atTwo.descriptors && atEnd.threads <= atTwo.threads;
  std::printf("%s\n", flat && t.duplicated == 0 && t.lost == 0 && ended ? "FLAT, no duplicate, nothing lost"
                                                                        : "NOT FLAT, or a document duplicated or lost");
  return flat && t.duplicated == 0 && t.lost == 0 && ended ? 0 : 1;
}

SoakOptions parse(const QStringList& arguments) {
  SoakOptions options;
  for (qsizetype i = 0; i + 1 < arguments.size(); i += 2) {
    if (arguments[i] == QStringLiteral("--program")) options.program = arguments[i + 1];
    if (arguments[i] == QStringLiteral("--minutes")) options.minutes = std::max(3, arguments[i + 1].toInt());
    if (arguments[i] == QStringLiteral("--connections")) options.connections = arguments[i + 1].toInt();
  }
  return options;
}

}  // namespace
}  // namespace corvex

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const corvex::SoakOptions options = corvex::parse(app.arguments().mid(1));
  std::printf("soak: %d minutes, %d sessions, faults cycling %s\n", options.minutes, options.connections,
              qPrintable(corvex::kCycle));
  return corvex::soak(options);
}
