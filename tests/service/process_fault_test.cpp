#include "app/poll_loop.h"
#include "demo/demo_database.h"
#include "support/ledger_check.h"
#include "support/program.h"
#include "support/temp_app_dir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <random>

namespace corvex {
namespace {

using test::TempAppDir;

constexpr int kDocuments = 100;
constexpr int kStopRepetitions = 20;
constexpr int kWaitMs = 120000;

// The four pending demo documents, copied under new numbers and ids: by
// default 100 pending documents, Facturas and Créditos Fiscales, one of 60
// lines.
QString pendingDocuments(int documents) {
  QString sql = QStringLiteral(
      "CREATE TEMP TABLE pendientes AS SELECT * FROM FACTURAS_ENC WHERE ENVIADA = 0;\n"
      "CREATE TEMP TABLE lineas AS SELECT d.* FROM FACTURAS_DET d JOIN pendientes p "
      "ON d.SERIE = p.SERIE AND d.NUMERO = p.NUMERO;\n");
  for (int copy = 1; copy < documents / 4; ++copy)
    sql += QStringLiteral(
        "UPDATE pendientes SET NUMERO = NUMERO + 100000, IDDOCUMENTO = 'COPIA-' || SERIE || '-' || (NUMERO + 100000);\n"
        "UPDATE lineas SET NUMERO = NUMERO + 100000;\n"
        "INSERT INTO FACTURAS_ENC SELECT * FROM pendientes;\n"
        "INSERT INTO FACTURAS_DET SELECT * FROM lineas;\n");
  return sql;
}

// An Application folder with pending documents that mail into outbox/.
class Workspace {
 public:
  explicit Workspace(int documents = kDocuments) : m_documents(documents) {
    m_dir.writeFile(QStringLiteral("main.ini"), "[DB]\r\ncString=sqlite:ventas.db\r\n");
    buildDemoDatabase(m_dir.filePath(QStringLiteral("ventas.db")), DemoContent::Documents, pendingDocuments(documents));
    m_markedBefore = marked();
  }

  QString path() const { return m_dir.path(); }
  QStringList onceArguments() const { return {QStringLiteral("--once"), QStringLiteral("--app-dir"), path()}; }

  // How many messages carry each document's JSON, by IdDocumento.
  QHash<QString, int> mailsPerDocument() const {
    static const QRegularExpression attachment(QStringLiteral("filename=\"?([^\"\\r\\n;]+)\\.json"));
    QHash<QString, int> counts;
    const QDir outbox(m_dir.filePath(QStringLiteral("outbox")));
    for (const QString& name : outbox.entryList({QStringLiteral("*.eml")}, QDir::Files)) {
      const QString message = QString::fromUtf8(m_dir.readFile(QStringLiteral("outbox/") + name));
      const QRegularExpressionMatch match = attachment.match(message);
      if (match.hasMatch()) ++counts[match.captured(1)];
    }
    return counts;
  }

  // Every marked document has its ledger line, and every line the hashes
  // of the bytes that went out.
  QStringList ledgerProblems() const {
    QStringList messages;
    const QDir outbox(m_dir.filePath(QStringLiteral("outbox")));
    for (const QString& name : outbox.entryList({QStringLiteral("*.eml")}, QDir::Files))
      messages << outbox.filePath(name);
    return test::ledgerProblems(m_dir.path(), m_dir.filePath(QStringLiteral("ventas.db")), messages);
  }

  int messageCount() const {
    return int(QDir(m_dir.filePath(QStringLiteral("outbox"))).entryList({QStringLiteral("*.eml")}, QDir::Files).size());
  }

  // Documents this test's runs marked as mailed.
  QSet<QString> markedByRuns() const { return marked() - m_markedBefore; }

  // The promise: every document mailed once and marked, or not mailed and
  // still pending; no scratch file left behind.
  void expectMailedOnceAndMarkedOrPending(const std::string& when) const {
    const QHash<QString, int> mails = mailsPerDocument();
    const QSet<QString> markedNow = markedByRuns();
    for (auto it = mails.cbegin(); it != mails.cend(); ++it) {
      EXPECT_EQ(it.value(), 1) << when << ": " << it.key().toStdString() << " mailed more than once";
      EXPECT_TRUE(markedNow.contains(it.key())) << when << ": " << it.key().toStdString() << " mailed, not marked";
    }
    for (const QString& id : markedNow)
      EXPECT_TRUE(mails.contains(id)) << when << ": " << id.toStdString() << " marked, never mailed";
    EXPECT_TRUE(QDir(m_dir.filePath(QStringLiteral("files"))).isEmpty()) << when;
  }

  void expectAllMailedOnce(const std::string& when) const {
    expectMailedOnceAndMarkedOrPending(when);
    EXPECT_EQ(markedByRuns().size(), m_documents) << when;
  }

 private:
  QSet<QString> marked() const {
    const QStringList ids = m_dir.querySqlite(QStringLiteral("ventas.db"),
                                              QStringLiteral("SELECT IDDOCUMENTO FROM FACTURAS_ENC WHERE ENVIADA = 1"));
    return QSet<QString>(ids.cbegin(), ids.cend());
  }

  TempAppDir m_dir{{QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr"), QStringLiteral("outbox")}};
  int m_documents;
  QSet<QString> m_markedBefore;
};

// Starts the program and waits until it printed "Main": start-up is over.
bool startUntilMain(QProcess& program, const QStringList& arguments) {
  program.start(QStringLiteral(CORVEX_BINARY), arguments);
  if (!program.waitForStarted(kWaitMs)) return false;
  QByteArray out;
  QElapsedTimer waited;
  waited.start();
  while (!out.contains("Main\n") && waited.elapsed() < kWaitMs && program.state() == QProcess::Running) {
    program.waitForReadyRead(1000);
    out += program.readAllStandardOutput();
  }
  return out.contains("Main\n");
}

// Exit status of a finished program, -1 when it was killed by a signal or
// did not end in time (then it is killed).
int finish(QProcess& program) {
  if (!program.waitForFinished(kWaitMs)) {
    program.kill();
    program.waitForFinished(5000);
    return -1;
  }
  return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
}

// How long one whole run of the 100 documents takes here, from "Main" to its end.
qint64 wholeRunMs() {
  Workspace workspace;
  QProcess program;
  EXPECT_TRUE(startUntilMain(program, workspace.onceArguments()));
  QElapsedTimer run;
  run.start();
  EXPECT_EQ(finish(program), 0);
  workspace.expectAllMailedOnce("uninterrupted run");
  return run.elapsed();
}

TEST(ProcessFaultTest, StopSignalAtRandomMomentsFinishesTheDocumentInHandAndExitsZero) {
  const qint64 runMs = wholeRunMs();
  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  std::uniform_int_distribution<qint64> moment(0, runMs);
  const int stopSignals[] = {SIGTERM, SIGINT, SIGHUP};
  for (int repetition = 0; repetition < kStopRepetitions; ++repetition) {
    const int signal = stopSignals[repetition % 3];
    // Every fourth in the polling loop, whose first run starts one interval after "Main".
    const bool polling = repetition % 4 == 3;
    const qint64 delayMs = moment(random) + (polling ? PollLoop::kIntervalMs : 0);
    const std::string when = "seed " + std::to_string(seed) + ", repetition " + std::to_string(repetition) +
                             (polling ? ", polling" : ", --once") + ", signal " + std::to_string(signal) + " after " +
                             std::to_string(delayMs) + " ms";
    Workspace workspace;
    QProcess program;
    const QStringList arguments =
        polling ? QStringList{QStringLiteral("--headless"), QStringLiteral("--app-dir"), workspace.path()}
                : workspace.onceArguments();
    ASSERT_TRUE(startUntilMain(program, arguments)) << when;
    QThread::msleep(static_cast<unsigned long>(delayMs));
    ::kill(static_cast<pid_t>(program.processId()), signal);
    EXPECT_EQ(finish(program), 0) << when << "\n" << program.readAllStandardError().toStdString();
    workspace.expectMailedOnceAndMarkedOrPending(when);
    // The next start mails the rest, and nothing twice.
    EXPECT_EQ(test::runProgram(workspace.onceArguments(), kWaitMs).exitCode, 0) << when;
    workspace.expectAllMailedOnce(when + ", then a whole run");
  }
}

// Mailing and marking are two steps: a kill between the server's acceptance
// and the mark mails that one document again after the restart, and nothing
// else may ever be mailed twice or lost; every marked document has its ledger
// line, whatever the kill cut short. The kill comes once a random number of
// messages went out.
TEST(ProcessFaultTest, SigkillAtRandomMomentsMailsAtMostTheDocumentInFlightAgain) {
  constexpr int kKills = 8;
  constexpr int kKillDocuments = 40;
  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> sent(0, kKillDocuments - 1);
  for (int kill = 0; kill < kKills; ++kill) {
    const int target = sent(random);
    const std::string when = "seed " + std::to_string(seed) + ", kill " + std::to_string(kill) + " after " +
                             std::to_string(target) + " messages";
    Workspace workspace(kKillDocuments);
    QProcess program;
    program.start(QStringLiteral(CORVEX_BINARY), workspace.onceArguments());
    ASSERT_TRUE(program.waitForStarted(kWaitMs)) << when;
    QElapsedTimer waited;
    waited.start();
    while (workspace.messageCount() < target && program.state() == QProcess::Running && waited.elapsed() < kWaitMs)
      program.waitForFinished(2);
    ::kill(static_cast<pid_t>(program.processId()), SIGKILL);
    program.waitForFinished(kWaitMs);
    EXPECT_EQ(test::runProgram(workspace.onceArguments(), kWaitMs).exitCode, 0) << when;
    const QHash<QString, int> mails = workspace.mailsPerDocument();
    int again = 0;
    for (const int count : mails) again += count - 1;
    EXPECT_LE(again, 1) << when;
    EXPECT_EQ(mails.size(), kKillDocuments) << when;
    EXPECT_EQ(workspace.markedByRuns().size(), kKillDocuments) << when;
    EXPECT_EQ(workspace.ledgerProblems(), QStringList()) << when;
  }
}

TEST(ProcessFaultTest, OfTwoInstancesStartedAtOnceOneWorksAndTheOtherExitsWithStatus2) {
  Workspace workspace;
  QProcess programs[2];
  for (QProcess& program : programs) program.start(QStringLiteral(CORVEX_BINARY), workspace.onceArguments());
  int statuses[2];
  for (int i = 0; i < 2; ++i) statuses[i] = finish(programs[i]);
  const int refused = statuses[0] == 2 ? 0 : 1;
  EXPECT_EQ(statuses[refused], 2);
  EXPECT_EQ(statuses[1 - refused], 0);
  const QString err = QString::fromUtf8(programs[refused].readAllStandardError());
  EXPECT_TRUE(err.contains(QStringLiteral("Another Corvex is already working on "))) << err.toStdString();
  workspace.expectAllMailedOnce("two instances");
}

TEST(ProcessFaultTest, LockOfAKilledInstanceDoesNotBlockTheNextStart) {
  Workspace workspace;
  QProcess killed;
  // Killed while idle, before its first run: nothing half done.
  ASSERT_TRUE(startUntilMain(killed, {QStringLiteral("--headless"), QStringLiteral("--app-dir"), workspace.path()}));
  killed.kill();
  killed.waitForFinished(kWaitMs);
  const test::ProgramRun next = test::runProgram(workspace.onceArguments(), kWaitMs);
  EXPECT_EQ(next.exitCode, 0) << next.err.toStdString();
  workspace.expectAllMailedOnce("after a killed instance");
}

}  // namespace
}  // namespace corvex
