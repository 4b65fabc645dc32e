#include "mail/delivery_ledger.h"
#include "support/delivery_check.h"
#include "support/demo_setup.h"
#include "support/ledger_check.h"
#include "support/program.h"
#include "support/smtp_peer.h"
#include "support/temp_app_dir.h"

#include <QDir>
#include <QJsonArray>

#include <gtest/gtest.h>

#include <functional>

namespace corvex {
namespace {

using test::ProgramRun;
using test::TempAppDir;

const QString kDatabase = QStringLiteral("ventas.db");

struct LedgerCase {
  const char* name;
  /// Readies the folder (and may start a peer, returning where mails land).
  std::function<std::function<QStringList()>(const TempAppDir&, QProcessEnvironment&)> setUp;
  /// Between the first and the second run (empty: one run only).
  std::function<void(const TempAppDir&)> between;
  int firstExitCode;
  int lines;
  /// What the lines tell beyond their hashes.
  std::function<void(const QList<QJsonObject>&)> expectLines;
};

void PrintTo(const LedgerCase& c, std::ostream* out) { *out << c.name; }

ProgramRun runOnce(const TempAppDir& dir, const QProcessEnvironment& environment) {
  return test::runProgram({QStringLiteral("--once"), QStringLiteral("--app-dir"), dir.path()}, 120000, environment);
}

std::function<QStringList()> pickupFolder(const TempAppDir& dir) {
  return [&dir] {
    QStringList files;
    const QDir outbox(dir.filePath(QStringLiteral("outbox")));
    for (const QString& name : outbox.entryList({QStringLiteral("*.eml")}, QDir::Files)) files << outbox.filePath(name);
    return files;
  };
}

QString ledgerNow() { return DeliveryLedger::fileName(QDate::currentDate()); }

const LedgerCase kCases[] = {
    {"PickupFolder",
     [](const TempAppDir& dir, QProcessEnvironment&) { return pickupFolder(dir); },
     {},
     0,
     4,
     [](const QList<QJsonObject>& lines) {
       for (const QJsonObject& line : lines) {
         EXPECT_EQ(line[QStringLiteral("transport")].toString(), QStringLiteral("pickup"));
         EXPECT_TRUE(line[QStringLiteral("reply")].toString().startsWith(QStringLiteral("written to ")));
         EXPECT_FALSE(line[QStringLiteral("tipoDte")].toString().isEmpty());
         EXPECT_FALSE(line[QStringLiteral("resend")].toBool());
       }
     }},
    // A refused recipient gets no line; the server's reply stands in each other.
    {"SmtpWithARefusedRecipient",
     [](const TempAppDir& dir, QProcessEnvironment& environment) -> std::function<QStringList()> {
       test::SmtpPeerOptions options;
       options.rejectRecipient = QStringLiteral("compras@lospinos.example");
       auto peer = std::make_shared<test::SmtpPeer>(options);
       dir.querySqlite(kDatabase, QStringLiteral("UPDATE Parametros SET Valor = '127.0.0.1' WHERE Parametro = "
                                                 "'sysSMTPServer'"));
       dir.querySqlite(kDatabase, QStringLiteral("UPDATE Parametros SET Valor = '%1' WHERE Parametro = "
                                                 "'sysSMTPPort'")
                                      .arg(peer->port()));
       environment.insert(QStringLiteral("CURL_CA_BUNDLE"), peer->caBundle());
       return [peer] { return peer->messageFiles(); };
     },
     {},
     0,
     3,
     [](const QList<QJsonObject>& lines) {
       for (const QJsonObject& line : lines) {
         EXPECT_NE(line[QStringLiteral("to")].toString(), QStringLiteral("compras@lospinos.example"));
         EXPECT_TRUE(line[QStringLiteral("reply")].toString().startsWith(QStringLiteral("250 ")));
       }
     }},
    // The second mail of a document asked for again has a line of its own.
    {"ResendGetsALineOfItsOwn", [](const TempAppDir& dir, QProcessEnvironment&) { return pickupFolder(dir); },
     [](const TempAppDir& dir) {
       const ProgramRun resend = test::runProgram(
           {QStringLiteral("resend"), QStringLiteral("FA"), QStringLiteral("1251"), QStringLiteral("--to"),
            QStringLiteral("otra@example.com"), QStringLiteral("--app-dir"), dir.path()});
       EXPECT_EQ(resend.exitCode, 0) << resend.err.toStdString();
     },
     0, 5,
     [](const QList<QJsonObject>& lines) {
       EXPECT_EQ(lines.last()[QStringLiteral("to")].toString(), QStringLiteral("otra@example.com"));
       EXPECT_TRUE(lines.last()[QStringLiteral("resend")].toBool());
     }},
    // A ledger that cannot take the line: the mailed document waits in the
    // journal with its line, unmarked; the next run writes the line, then
    // marks it, and mails it no second time.
    {"LedgerThatCannotBeWritten",
     [](const TempAppDir& dir, QProcessEnvironment&) {
       QDir(dir.path()).mkdir(ledgerNow());
       return pickupFolder(dir);
     },
     [](const TempAppDir& dir) {
       EXPECT_EQ(test::journaled(dir).size(), 1);
       EXPECT_TRUE(dir.readFile(QStringLiteral("mailed-unmarked.jsonl")).contains("\"ledger\""));
       QDir(dir.path()).rmdir(ledgerNow());
     },
     1,
     4,
     {}},
};

class LedgerProgramTest : public ::testing::TestWithParam<LedgerCase> {};

TEST_P(LedgerProgramTest, EveryAcceptedMailHasItsLineWithTheHashesOfWhatWasMailed) {
  const LedgerCase& c = GetParam();
  const TempAppDir dir(test::demoRunFolders());
  test::writeDemoSetUp(dir);
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  const std::function<QStringList()> messages = c.setUp(dir, environment);
  const ProgramRun first = runOnce(dir, environment);
  EXPECT_EQ(first.exitCode, c.firstExitCode) << first.out.toStdString() << first.err.toStdString();
  if (c.between) {
    c.between(dir);
    const ProgramRun second = runOnce(dir, environment);
    EXPECT_EQ(second.exitCode, 0) << second.out.toStdString() << second.err.toStdString();
  }
  EXPECT_EQ(test::brokenPromises(dir, kDatabase, messages()), QStringList()) << dir.logLines().join('\n').toStdString();
  EXPECT_EQ(test::ledgerProblems(dir.path(), dir.filePath(kDatabase), messages()), QStringList());
  const QList<QJsonObject> lines = test::ledgerMailLines(dir.path());
  EXPECT_EQ(lines.size(), c.lines);
  if (c.expectLines) c.expectLines(lines);
#ifdef Q_OS_UNIX
  // As private as main.ini: it holds the buyers' addresses.
  EXPECT_EQ(QFile::permissions(dir.filePath(ledgerNow())) & (QFile::ReadGroup | QFile::ReadOther), 0);
#endif
}

INSTANTIATE_TEST_SUITE_P(Transports, LedgerProgramTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<LedgerCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvex
