#include "demo/demo_database.h"
#include "support/delivery_check.h"
#include "support/program.h"
#include "support/smtp_peer.h"
#include "support/temp_app_dir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <unistd.h>

#include <functional>
#include <memory>

namespace corvex {
namespace {

using test::SmtpPeer;
using test::SmtpPeerFaults;
using test::SmtpPeerOptions;
using test::TempAppDir;

constexpr int kRunTimeoutMs = 90000;
// Each SMTP time-out of the program, shortened for the stalling server.
const QString kSmtpTimeoutLimit = QStringLiteral("3");

struct Outcome {
  int exitCode = -1;  ///< -1: crashed, killed or still running at the deadline
  QString output;
};

// The real program, once, with its memory capped.
Outcome runProgram(const TempAppDir& dir, const QString& caBundle) {
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("CURL_CA_BUNDLE"), caBundle);
  environment.insert(QStringLiteral("CORVEX_SMTP_TIMEOUT_LIMIT"), kSmtpTimeoutLimit);
  process.setProcessEnvironment(environment);
  test::capAddressSpace(process);
  process.start(QStringLiteral(CORVEX_BINARY), {QStringLiteral("--once"), QStringLiteral("--app-dir"), dir.path()});
  Outcome outcome;
  if (!process.waitForFinished(kRunTimeoutMs)) {
    process.kill();
    process.waitForFinished(5000);
    return outcome;
  }
  if (process.exitStatus() == QProcess::NormalExit) outcome.exitCode = process.exitCode();
  outcome.output = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
  return outcome;
}

// A folder mounted for one case (a small tmpfs, a read-only bind), undone at
// the end of the case.
class Mount {
 public:
  explicit Mount(QString target, const QStringList& steps) : m_target(std::move(target)) {
    for (const QString& step : steps) run(step.split(QLatin1Char(' ')) << m_target);
  }
  ~Mount() { run({QStringLiteral("-l"), m_target}, QStringLiteral("umount")); }
  Mount(const Mount&) = delete;
  Mount& operator=(const Mount&) = delete;

 private:
  static void run(const QStringList& arguments, const QString& program = QStringLiteral("mount")) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
      ADD_FAILURE() << program.toStdString() << " " << arguments.join(' ').toStdString() << ": "
                    << process.readAllStandardError().toStdString();
  }

  QString m_target;
};

/// What one case arranges before its faulty run; it may keep a mount alive
/// until the case ends.
struct Rig {
  TempAppDir& dir;
  SmtpPeerFaults& peer;
  std::vector<std::unique_ptr<Mount>>& mounts;

  QString path(const QString& relative) const { return dir.filePath(relative); }
  QString idDocumento(int numero) const {
    return dir
        .querySqlite(QStringLiteral("v.db"),
                     QStringLiteral("SELECT IDDOCUMENTO FROM FACTURAS_ENC WHERE NUMERO = %1").arg(numero))
        .value(0);
  }
  void sql(const QString& statement) const { dir.querySqlite(QStringLiteral("v.db"), statement); }
  void mountTmpfs(const QString& folder, const QString& size) {
    mounts.push_back(std::make_unique<Mount>(
        path(folder), QStringList{QStringLiteral("-t tmpfs -o size=") + size + QStringLiteral(" tmpfs")}));
  }
  void mountReadOnly(const QString& folder) {
    mounts.push_back(std::make_unique<Mount>(
        path(folder), QStringList{QStringLiteral("--bind ") + path(folder), QStringLiteral("-o remount,bind,ro")}));
  }
};

struct FaultCase {
  const char* name;
  std::function<void(Rig&)> arrange;
  int pendingAfterFault;  ///< documents left pending by the faulty run (-1: some, not all)
  int journaledAfterFault;
  /// A text the log must hold after the faulty run: the system's or the
  /// server's reason (empty: nothing to find).
  const char* logged;
  /// What the operator undoes after the faulty run (mounts go anyway).
  std::function<void(Rig&)> heal = nullptr;
  /// How often the faulty run is repeated before the fault is healed.
  int faultyRuns = 1;
};

void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.name; }

class FaultTableTest : public ::testing::TestWithParam<FaultCase> {
 protected:
  void SetUp() override { ASSERT_EQ(geteuid(), 0u) << "the fault table mounts file systems and needs root"; }

  void build(int port) {
    buildDemoDatabase(dir.filePath(QStringLiteral("v.db")), DemoContent::Documents,
                      QStringLiteral("UPDATE Parametros SET Valor = '127.0.0.1' WHERE Parametro = 'sysSMTPServer';\n"
                                     "UPDATE Parametros SET Valor = '%1' WHERE Parametro = 'sysSMTPPort';\n")
                          .arg(port));
    dir.writeFile(QStringLiteral("main.ini"), "[DB]\r\ncString=sqlite:v.db\r\n");
  }

  QStringList brokenPromises(const QStringList& messages, QStringList* pending) const {
    return test::brokenPromises(dir, QStringLiteral("v.db"), messages, pending);
  }

  QTemporaryDir certs;
  TempAppDir dir{{QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr")}};
};

// Every case: the faulty run ends (no crash, no hang) with every document
// mailed once and marked or journaled, or still pending; then, the fault
// gone, the next run mails exactly what was left.
TEST_P(FaultTableTest, EveryDocumentIsMailedOnceOrStillPending) {
  const FaultCase& c = GetParam();
  SmtpPeerOptions options;
  options.certDir = certs.path();
  SmtpPeerFaults faults;
  std::vector<std::unique_ptr<Mount>> mounts;
  {
    // The database comes first so that a case can read it and shape it.
    Rig rig{dir, faults, mounts};
    build(0);
    c.arrange(rig);
  }
  auto faulty = std::make_unique<SmtpPeer>(options, faults);
  dir.querySqlite(
      QStringLiteral("v.db"),
      QStringLiteral("UPDATE Parametros SET Valor = '%1' WHERE Parametro = 'sysSMTPPort'").arg(faulty->port()));
  Outcome first;
  for (int run = 0; run < c.faultyRuns; ++run) {
    first = runProgram(dir, faulty->caBundle());
    ASSERT_TRUE(first.exitCode == 0 || first.exitCode == 1) << "crashed or hung: " << first.output.toStdString();
  }
  if (c.heal) {
    Rig rig{dir, faults, mounts};
    c.heal(rig);
  }
  QStringList pending;
  const QStringList firstMessages = faulty->messageFiles();
  const QStringList broken = brokenPromises(firstMessages, &pending);
  EXPECT_TRUE(broken.isEmpty()) << broken.join('\n').toStdString() << "\n" << dir.logLines().join('\n').toStdString();
  if (c.pendingAfterFault >= 0)
    EXPECT_EQ(pending.size(), c.pendingAfterFault) << dir.logLines().join('\n').toStdString();
  else
    EXPECT_TRUE(!pending.isEmpty() && pending.size() < 4) << pending.join(' ').toStdString();
  EXPECT_EQ(test::journaled(dir).size(), c.journaledAfterFault);
  EXPECT_FALSE(dir.logLines().filter(QString::fromUtf8(c.logged)).isEmpty())
      << c.logged << " not in\n"
      << dir.logLines().join(QLatin1Char('\n')).toStdString();
  const QStringList left = QDir(dir.filePath(QStringLiteral("files"))).entryList(QDir::Files);
  EXPECT_TRUE(left.filter(QStringLiteral(".tmp")).isEmpty()) << left.join(' ').toStdString();
  // A run that ended normally, sending stopped or not, leaves no document's
  // files behind, not even of those it read ahead and then left pending.
  if (first.exitCode == 0) {
    EXPECT_EQ(left, QStringList());
  }

  // Stopped, not destroyed: its stored messages count for the promise.
  faulty->stop();
  mounts.clear();
  SmtpPeerOptions healthy;
  healthy.certDir = certs.path();
  SmtpPeer peer(healthy);
  dir.querySqlite(
      QStringLiteral("v.db"),
      QStringLiteral("UPDATE Parametros SET Valor = '%1' WHERE Parametro = 'sysSMTPPort'").arg(peer.port()));
  const Outcome second = runProgram(dir, peer.caBundle());
  EXPECT_EQ(second.exitCode, 0) << second.output.toStdString() << dir.logLines().join('\n').toStdString();
  pending.clear();
  const QStringList brokenAfter = brokenPromises(firstMessages + peer.messageFiles(), &pending);
  EXPECT_TRUE(brokenAfter.isEmpty()) << brokenAfter.join('\n').toStdString();
  EXPECT_EQ(pending, QStringList());
  EXPECT_EQ(test::journaled(dir), QStringList());
}

const QString kRefuseMarks = QStringLiteral(
    "CREATE TRIGGER refuse_mark BEFORE UPDATE OF ENVIADA ON FACTURAS_ENC "
    "BEGIN SELECT RAISE(ABORT, 'mark refused'); END");

// Holds an exclusive lock on the database for three seconds, returning once
// it holds it, so the program's next mark has to wait for it.
const QString kLockDatabase = QStringLiteral(
    "/usr/bin/python3 -c \"import os, sqlite3, time\n"
    "r, w = os.pipe()\n"
    "if os.fork() == 0:\n"
    "    c = sqlite3.connect('%1', isolation_level=None); c.execute('BEGIN EXCLUSIVE')\n"
    "    os.write(w, b'x'); time.sleep(3); c.rollback(); os._exit(0)\n"
    "os.close(w); os.read(r, 1)\"");

// FA-1251 twice, beside its neighbours, as a join in the view would list it.
const QString kListTwice = QStringLiteral(
    "CREATE VIEW vwDTECorvex AS SELECT e.IDDOCUMENTO AS IdDocumento, e.SELLORECIBIDO AS SelloRecibido, "
    "e.JSONDTE AS JSonDTE, e.JSONFIRMADO AS JSonFirmado, e.FORMATO AS Formato, e.SERIE AS Serie, "
    "e.NUMERO AS Numero, e.EMAIL AS eMail, e.NOMBRE AS tNombre, 'LA CEIBA' AS NomCorp, e.FECHA AS Fecha "
    "FROM FACTURAS_ENC e JOIN (SELECT 1 AS n UNION ALL SELECT 2) copies ON copies.n = 1 OR e.NUMERO = 1251 "
    "WHERE e.ENVIADA = 0");

const QString kAnswerFor318With319 = QStringLiteral(
    "UPDATE procedures SET body = replace(body, 'e.NUMERO = @Numero', "
    "'e.NUMERO = CASE WHEN @Numero = 318 THEN 319 ELSE @Numero END')");

void smtpFault(Rig& rig, const char* fault, int at) {
  rig.peer.fault = QString::fromLatin1(fault);
  rig.peer.faultAt = at;
}

const FaultCase kCases[] = {
    {"FilesOnAFullDisk", [](Rig& rig) { rig.mountTmpfs(QStringLiteral("files"), QStringLiteral("8k")); }, 4, 0,
     "No space left on device"},
    {"FilesReadOnly", [](Rig& rig) { rig.mountReadOnly(QStringLiteral("files")); }, 4, 0, "Read-only file system"},
    {"QrReadOnlyHoldingThePreviousPicture",
     [](Rig& rig) {
       rig.dir.writeFile(QStringLiteral("qr/uno.bmp"), demoResource(QStringLiteral("logo.png")));
       rig.mountReadOnly(QStringLiteral("qr"));
     },
     4, 0, "Read-only file system"},
    {"LinksToDevicesAtTheDocumentsPaths",
     [](Rig& rig) {
       QFile::link(QStringLiteral("/dev/full"), rig.path(QStringLiteral("files/%1.json").arg(rig.idDocumento(1251))));
       QFile::link(QStringLiteral("/dev/zero"), rig.path(QStringLiteral("files/%1.pdf").arg(rig.idDocumento(318))));
       QFile::link(QStringLiteral("/dev/zero"), rig.path(QStringLiteral("files/%1.json").arg(rig.idDocumento(319))));
     },
     0, 0, ""},
    {"MarkFailsAfterTheSend", [](Rig& rig) { rig.sql(kRefuseMarks); }, 3, 1,
     "(FA-1251 was mailed; its mark waits in mailed-unmarked.jsonl)",
     [](Rig& rig) { rig.sql(QStringLiteral("DROP TRIGGER refuse_mark")); }},
    // SQLite refuses to write to a file that lost its name, so the first
    // mark fails and is journaled; the next document's own connection finds
    // no file, as when it is deleted, and ends the run. The operator then
    // puts the file back.
    {"DatabaseFileGoneAfterTheFirstMail",
     [](Rig& rig) {
       rig.peer.afterMessage = 1;
       rig.peer.afterCommand = QStringLiteral("mv %1 %1.away").arg(rig.path(QStringLiteral("v.db")));
     },
     3, 1, "(FA-1251 was mailed; its mark waits in mailed-unmarked.jsonl)",
     [](Rig& rig) { QFile::rename(rig.path(QStringLiteral("v.db.away")), rig.path(QStringLiteral("v.db"))); }},
    // Mailed once, and never again while its mark changes nothing.
    {"MarkChangesNoRowOverThreeRuns",
     [](Rig& rig) {
       rig.sql(QStringLiteral("CREATE TABLE audit (numero INTEGER)"));
       rig.sql(
           QStringLiteral("CREATE TRIGGER swallow_mark BEFORE UPDATE OF ENVIADA ON FACTURAS_ENC BEGIN "
                          "INSERT INTO audit VALUES (OLD.NUMERO); SELECT RAISE(IGNORE) WHERE OLD.NUMERO = 318; "
                          "END"));
     },
     0, 1, "CF-318: its mark changed no row of FACTURAS_ENC",
     [](Rig& rig) { rig.sql(QStringLiteral("DROP TRIGGER swallow_mark")); }, 3},
    {"ViewListsADocumentTwice",
     [](Rig& rig) {
       rig.sql(QStringLiteral("DROP VIEW vwDTECorvex"));
       rig.sql(kListTwice);
     },
     0, 0, ""},
    {"ProcedureAnswersWithAnotherDocumentsRows", [](Rig& rig) { rig.sql(kAnswerFor318With319); }, 1, 0,
     "CF-318--compras@lospinos.example: tovGetFESalvador gives IdDocumento",
     [](Rig& rig) {
       rig.sql(
           QStringLiteral("UPDATE procedures SET body = replace(body, "
                          "'CASE WHEN @Numero = 318 THEN 319 ELSE @Numero END', '@Numero')"));
     }},
    {"DatabaseLockedAfterTheFirstMail",
     [](Rig& rig) {
       rig.peer.afterMessage = 1;
       rig.peer.afterCommand = kLockDatabase.arg(rig.path(QStringLiteral("v.db")));
     },
     0, 0, ""},
    // A 421 closes the session and stops the run's sending: the rest wait for the next run.
    {"Smtp421", [](Rig& rig) { smtpFault(rig, "421", 2); }, 3, 0, "Email send failed"},
    {"Smtp451", [](Rig& rig) { smtpFault(rig, "451", 2); }, 1, 0, "Email send failed"},
    {"Smtp552", [](Rig& rig) { smtpFault(rig, "552", 2); }, 1, 0, "Email send failed"},
    {"Smtp554", [](Rig& rig) { smtpFault(rig, "554", 2); }, 1, 0, "Email send failed"},
    {"SmtpDropsDuringData", [](Rig& rig) { smtpFault(rig, "drop", 3); }, -1, 0, "Email send failed"},
    {"SmtpStallsPastTheTimeOuts", [](Rig& rig) { smtpFault(rig, "stall", 1); }, -1, 0, "Email send failed"},
};

// A folder standing where a document's JSON must go fails that document on
// every run, every 5 s: over 16 s of polling it is logged once, and the
// other documents go out once.
TEST(RepeatedFaultTest, AFailureOnEveryRunIsLoggedOnce) {
  TempAppDir dir{{QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr"), QStringLiteral("outbox")}};
  buildDemoDatabase(dir.filePath(QStringLiteral("v.db")));
  dir.writeFile(QStringLiteral("main.ini"), "[DB]\r\ncString=sqlite:v.db\r\n");
  const QString id = dir.querySqlite(QStringLiteral("v.db"),
                                     QStringLiteral("SELECT IDDOCUMENTO FROM FACTURAS_ENC WHERE NUMERO = 1251"))
                         .value(0);
  ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("files/%1.json/inside").arg(id))));
  QProcess program;
  program.start(QStringLiteral(CORVEX_BINARY), {QStringLiteral("--headless"), QStringLiteral("--app-dir"), dir.path()});
  QByteArray out;
  QElapsedTimer polled;
  polled.start();
  // Runs start 5 s after the previous one ended: the fourth after 15 s.
  while (out.count("Last Run: ") < 4 && polled.elapsed() < kRunTimeoutMs && program.state() != QProcess::NotRunning) {
    program.waitForReadyRead(500);
    out += program.readAllStandardOutput();
  }
  program.terminate();
  program.waitForFinished(10000);
  EXPECT_GE(out.count("Last Run: "), 4) << out.toStdString();
  const QStringList log = dir.logLines();
  EXPECT_EQ(log.filter(QStringLiteral("Is a directory")).size(), 1) << log.join('\n').toStdString();
  EXPECT_EQ(log.filter(QStringLiteral("sendDTEbyMail=> Run: ")).size(), 2) << log.join('\n').toStdString();
  QStringList messages;
  const QDir outbox(dir.filePath(QStringLiteral("outbox")));
  for (const QString& name : outbox.entryList({QStringLiteral("*.eml")}, QDir::Files))
    messages << outbox.filePath(name);
  QStringList pending;
  EXPECT_EQ(test::brokenPromises(dir, QStringLiteral("v.db"), messages, &pending), QStringList());
  EXPECT_EQ(pending, QStringList{QStringLiteral("FA-1251")});
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultTableTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvex
