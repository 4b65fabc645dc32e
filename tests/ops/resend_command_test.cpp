#include "support/demo_setup.h"
#include "support/program.h"
#include "support/smtp_peer.h"
#include "support/temp_app_dir.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QLockFile>

#include <gtest/gtest.h>

// `corvex resend` against the real program: the request, then the runs that
// act on it, on the demo documents mailed into the pickup folder.

namespace corvex {
namespace {

using test::ProgramRun;
using test::runProgram;
using test::SmtpPeer;
using test::TempAppDir;

const QString kRequests = QStringLiteral("resend-requests.jsonl");
const QString kJournal = QStringLiteral("mailed-unmarked.jsonl");

ProgramRun corvex(const TempAppDir& dir, const QStringList& arguments) {
  return runProgram(arguments + QStringList{QStringLiteral("--app-dir"), dir.path()}, 120000);
}

ProgramRun runOnce(const TempAppDir& dir) {
  const ProgramRun run = corvex(dir, {QStringLiteral("--once")});
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString() << dir.logLines().join(u'\n').toStdString();
  return run;
}

// The To header of every mail in the outbox, which is emptied.
QStringList takeMails(const TempAppDir& dir) {
  QDir outbox(dir.filePath(QStringLiteral("outbox")));
  QStringList recipients;
  for (const QString& name : outbox.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name)) {
    const QJsonObject headers = SmtpPeer::decode(outbox.filePath(name)).value(QStringLiteral("headers")).toObject();
    recipients << headers.value(QStringLiteral("To")).toString();
    outbox.remove(name);
  }
  return recipients;
}

QStringList marks(const TempAppDir& dir) {
  return dir.querySqlite(QStringLiteral("ventas.db"),
                         QStringLiteral("SELECT SERIE || '-' || NUMERO || ':' || ENVIADA FROM FACTURAS_ENC "
                                        "ORDER BY SERIE, NUMERO"));
}

QString enviada(const TempAppDir& dir, const char* serie, int numero) {
  return dir
      .querySqlite(QStringLiteral("ventas.db"), QStringLiteral("SELECT ENVIADA FROM FACTURAS_ENC WHERE SERIE = '%1' "
                                                               "AND NUMERO = %2")
                                                    .arg(QString::fromLatin1(serie))
                                                    .arg(numero))
      .value(0);
}

int logLinesWith(const TempAppDir& dir, const QString& part) { return int(dir.logLines().filter(part).size()); }

// A folder whose pending documents went out in a first run.
std::unique_ptr<TempAppDir> mailedWorkspace() {
  auto dir = std::make_unique<TempAppDir>(test::demoRunFolders());
  test::writeDemoSetUp(*dir);
  runOnce(*dir);
  takeMails(*dir);
  return dir;
}

// FA-1250 was mailed and marked long ago; its buyer asks for it again, once
// to its own address and once to someone else's; later mails go to the
// view's address again. A service holds the folder meanwhile.
TEST(ResendCommandTest, AResentDocumentIsMailedOnceByTheNextRunAndMarked) {
  const struct {
    const char* name;
    QStringList arguments;
    QString recipient;
  } cases[] = {
      {"the view's address", {"resend", "FA", "1250"}, "roberto.castillo@example.com"},
      {"another address", {"resend", "FA", "1250", "--to", "contador@example.com"}, "contador@example.com"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto dir = mailedWorkspace();
    QLockFile service(dir->filePath(QStringLiteral("corvex.lock")));
    ASSERT_TRUE(service.tryLock(0));
    const QStringList logBefore = dir->logLines();
    const ProgramRun resend = corvex(*dir, c.arguments);
    EXPECT_EQ(resend.exitCode, 0) << resend.err.toStdString();
    EXPECT_TRUE(resend.out.contains("FA-1250 is pending again")) << resend.out.toStdString();
    EXPECT_EQ(enviada(*dir, "FA", 1250), QStringLiteral("0"));
    EXPECT_EQ(dir->logLines(), logBefore);
    service.unlock();

    runOnce(*dir);
    EXPECT_EQ(takeMails(*dir), QStringList{c.recipient});
    EXPECT_EQ(enviada(*dir, "FA", 1250), QStringLiteral("1"));
    EXPECT_EQ(logLinesWith(*dir, QStringLiteral("sendDTEbyMail=> Resend of FA-1250")), 1);
    EXPECT_EQ(logLinesWith(*dir, c.recipient), 2) << dir->logLines().join(u'\n').toStdString();
    runOnce(*dir);
    EXPECT_EQ(takeMails(*dir), QStringList());
    EXPECT_FALSE(dir->exists(kRequests));

    ASSERT_EQ(corvex(*dir, {QStringLiteral("resend"), QStringLiteral("FA"), QStringLiteral("1250")}).exitCode, 0);
    runOnce(*dir);
    EXPECT_EQ(takeMails(*dir), QStringList{QStringLiteral("roberto.castillo@example.com")});
  }
}

// A request that cannot be met changes nothing: no mark, no request, no log
// line, and the next run mails nothing.
TEST(ResendCommandTest, BadRequestsChangeNothing) {
  const struct {
    const char* name;
    QStringList arguments;
    int exitCode;
    const char* told;
  } cases[] = {
      {"unknown key", {"resend", "FA", "9999"}, 1, "FACTURAS_ENC holds no document FA-9999; nothing changed"},
      {"bad address", {"resend", "FA", "1250", "--to", "contador.example.com"}, 64, "invalid recipient address"},
      {"two addresses", {"resend", "FA", "1250", "--to", "a@example.com,b@example.com"}, 64, "one address"},
      {"no number", {"resend", "FA", "12x"}, 64, "not a 32-bit whole number"},
      {"no database", {"resend", "FA", "1250"}, 2, "absent.db"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto dir = mailedWorkspace();
    if (c.exitCode == 2) dir->writeFile(QStringLiteral("main.ini"), "[DB]\r\ncString=sqlite:absent.db\r\n");
    const QStringList before = marks(*dir);
    const QStringList logBefore = dir->logLines();
    const ProgramRun resend = corvex(*dir, c.arguments);
    EXPECT_EQ(resend.exitCode, c.exitCode);
    EXPECT_TRUE(resend.err.contains(c.told)) << resend.err.toStdString();
    EXPECT_EQ(marks(*dir), before);
    EXPECT_FALSE(dir->exists(kRequests));
    EXPECT_EQ(dir->logLines(), logBefore);
    if (c.exitCode == 2) continue;
    runOnce(*dir);
    EXPECT_EQ(takeMails(*dir), QStringList());
  }
}

// FA-1251 was mailed but its mark failed: the journal keeps it from being
// mailed again, unless the operator asks for it.
TEST(ResendCommandTest, AJournaledDocumentResentLeavesTheJournalAndIsMailedOnce) {
  for (const bool resent : {false, true}) {
    SCOPED_TRACE(resent ? "resent" : "left alone");
    TempAppDir dir(test::demoRunFolders());
    test::writeDemoSetUp(dir, QStringLiteral("UPDATE FACTURAS_ENC SET ENVIADA = 1 WHERE NUMERO <> 1251;\n"));
    dir.writeFile(kJournal,
                  "{\"eMail\":\"carlos.mendoza@example.com\",\"idDocumento\":\"68A864C5-ADBB-4F4D-BECC-207C63DBA790\","
                  "\"mailed\":\"2026-12-07 10:15:02\",\"numero\":1251,\"serie\":\"FA\"}\r\n");
    if (resent) {
      const ProgramRun resend = corvex(dir, {QStringLiteral("resend"), QStringLiteral("FA"), QStringLiteral("1251")});
      ASSERT_EQ(resend.exitCode, 0) << resend.err.toStdString();
      EXPECT_TRUE(dir.exists(kJournal));
    }
    runOnce(dir);
    EXPECT_EQ(takeMails(dir).size(), resent ? 1 : 0);
    EXPECT_EQ(enviada(dir, "FA", 1251), QStringLiteral("1"));
    EXPECT_FALSE(dir.exists(kJournal));
    EXPECT_EQ(logLinesWith(dir, QStringLiteral("taken out of the journal")), resent ? 1 : 0);
    runOnce(dir);
    EXPECT_EQ(takeMails(dir), QStringList());
  }
}

}  // namespace
}  // namespace corvex
