#include "demo/demo_database.h"
#include "support/delivery_check.h"
#include "support/pdf_tools.h"
#include "support/program.h"
#include "support/smtp_peer.h"
#include "support/tds_peer.h"
#include "support/temp_app_dir.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>

// The real program against SQL Server's wire protocol (tests/support/
// tds_server.py), through unixODBC and the FreeTDS driver, on the demo
// documents, compared with the same program on the same SQLite file.

namespace corvex {
namespace {

using test::ProgramRun;
using test::runProgram;
using test::SmtpPeer;
using test::TdsPeer;
using test::TdsPeerOptions;
using test::TempAppDir;

// A 180-character accented name in nvarchar(200): longer than 200 bytes in
// UTF-8. Non-Latin names, a NULL name, and a document without a known
// Formato (no PDF, so its mail fails and it stays pending).
const QString kFixture = QStringLiteral(
    "UPDATE FACTURAS_ENC SET NOMBRE = substr(replace(printf('%.30c', '*'), '*', 'Ñandú Pérez '), 1, 180)"
    " WHERE NUMERO = 1251;\n"
    "UPDATE FACTURAS_ENC SET NOMBRE = 'Łukasz Żółć 李小龍 Ωμέγα Пётр' WHERE NUMERO = 318;\n"
    "UPDATE FACTURAS_ENC SET NOMBRE = NULL WHERE NUMERO = 1253;\n"
    "INSERT INTO FACTURAS_ENC (SERIE, NUMERO, FECHA, FORMATO, IDDOCUMENTO, SELLORECIBIDO, JSONDTE, JSONFIRMADO,"
    " EMAIL) VALUES ('FX', 7, '2024-06-01 08:00:00', NULL, 'FX-7', 'S7', '{\"a\":1}', '{\"body\":\"b\"}',"
    " 'x@example.com');\n");

const QStringList kCommonTypes = {"JSonFirmado=nvarchar(max)",
                                  "SelloRecibido=varchar(100)",
                                  "IdDocumento=varchar(36)",
                                  "tNombre=nvarchar(200)",
                                  "eMail=varchar(200)",
                                  "Serie=varchar(10)",
                                  "Numero=int",
                                  "Formato=smallint",
                                  "Fecha=datetime",
                                  "VENCE=datetime",
                                  "Valor=nvarchar(4000)",
                                  "Articulo=nvarchar(max)",
                                  "NomCorp=nvarchar(100)",
                                  "CANTIDAD=decimal(18,4)"};
const QStringList kAmounts = {"TOTAL", "VNETA",  "IVA",          "SUBTOTAL", "PERCEPCION", "Retencion",
                              "Pagar", "Precio", "Precio_Final", "TLinea",   "IITLinea"};

QStringList typeMap(const QString& json, const QString& logo, const QString& amount) {
  QStringList types = kCommonTypes;
  types << QStringLiteral("JSonDTE=") + json << QStringLiteral("LOGO=") + logo;
  for (const QString& column : kAmounts) types << column + QLatin1Char('=') + amount;
  return types;
}

QStringList runFolders() { return {"logs", "files", "qr", "outbox"}; }

// An Application folder with the fixture database, main.ini naming `server`
// (or the SQLite file when empty) and `extraIni` lines.
std::unique_ptr<TempAppDir> workspace(const QString& server, const QByteArray& extraIni = {},
                                      const QString& extraSql = {}) {
  auto dir = std::make_unique<TempAppDir>(runFolders());
  buildDemoDatabase(dir->filePath(QStringLiteral("ventas.db")), DemoContent::Documents, kFixture + extraSql);
  const QString source = server.isEmpty() ? QStringLiteral("sqlite:ventas.db") : server;
  dir->writeFile(QStringLiteral("main.ini"), "[DB]\r\ncString=" + source.toUtf8() + "\r\n" + extraIni);
  return dir;
}

ProgramRun once(const TempAppDir& dir, const QStringList& extra = {}) {
  return runProgram(QStringList{QStringLiteral("--once"), QStringLiteral("--app-dir"), dir.path()} + extra, 120000);
}

// The log without what differs from one run to the next: the time, the folder and the
// run's duration in its summary line.
std::string logTexts(const TempAppDir& dir) {
  static const QRegularExpression duration(QStringLiteral("\\d+\\.\\d seconds$"));
  QStringList texts;
  for (const QString& line : dir.logLines())
    texts << line.mid(22).replace(dir.path(), QStringLiteral("<dir>")).replace(duration, QStringLiteral("N seconds"));
  return texts.join(QLatin1Char('\n')).toStdString();
}

QStringList marks(const TempAppDir& dir) {
  return dir.querySqlite(QStringLiteral("ventas.db"),
                         QStringLiteral("SELECT SERIE || '-' || NUMERO || ':' || ENVIADA FROM FACTURAS_ENC "
                                        "ORDER BY SERIE, NUMERO"));
}

// Every mail in the outbox, by recipient: headers, text and attachments,
// PDFs as their text (their bytes carry the time they were made).
std::map<QString, QString> mails(const TempAppDir& dir) {
  std::map<QString, QString> result;
  const QDir outbox(dir.filePath(QStringLiteral("outbox")));
  for (const QString& name : outbox.entryList({QStringLiteral("*.eml")}, QDir::Files)) {
    const QJsonObject message = SmtpPeer::decode(outbox.filePath(name));
    const QJsonObject headers = message.value(QStringLiteral("headers")).toObject();
    QString summary =
        headers.value(QStringLiteral("Subject")).toString() + QLatin1Char('\n') +
        QString::fromUtf8(QByteArray::fromBase64(message.value(QStringLiteral("body")).toString().toLatin1()));
    for (const auto& value : message.value(QStringLiteral("attachments")).toArray()) {
      const QJsonObject attachment = value.toObject();
      const QString file = attachment.value(QStringLiteral("filename")).toString();
      const QByteArray data = QByteArray::fromBase64(attachment.value(QStringLiteral("data")).toString().toLatin1());
      summary += QLatin1Char('\n') + file + QLatin1Char('\n');
      if (file.endsWith(QStringLiteral(".pdf"))) {
        const QString pdf = dir.filePath(QStringLiteral("files/compare.pdf"));
        dir.writeFile(QStringLiteral("files/compare.pdf"), data);
        summary += test::pdfText(pdf);
        QFile::remove(pdf);
      } else {
        summary += QString::fromUtf8(data);
      }
    }
    result[headers.value(QStringLiteral("To")).toString()] = summary;
  }
  return result;
}

struct TypeCase {
  const char* name;
  QStringList types;
};

TEST(SqlServerProgramTest, SameMailsJsonPdfsAndMarksAsSqlite) {
  const auto sqlite = workspace(QString());
  const ProgramRun sqliteRun = once(*sqlite);
  ASSERT_EQ(sqliteRun.exitCode, 0) << sqliteRun.err.toStdString();
  const auto expectedMails = mails(*sqlite);
  ASSERT_EQ(expectedMails.size(), 4u) << logTexts(*sqlite);
  ASSERT_TRUE(expectedMails.at(QStringLiteral("proveeduria@vistavolcan.example")).size() > 8000);

  const TypeCase cases[] = {
      {"max types, money", typeMap("nvarchar(max)", "varbinary(max)", "money")},
      {"legacy types, decimal", typeMap("ntext", "image", "decimal(19,6)")},
  };
  for (const TypeCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto served = workspace(QString());
    TdsPeerOptions options;
    options.types = c.types;
    TdsPeer peer(served->filePath(QStringLiteral("ventas.db")), options);
    const auto dir = workspace(peer.server());
    const ProgramRun run = once(*dir);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(logTexts(*dir), logTexts(*sqlite));
    EXPECT_EQ(mails(*dir), expectedMails);
    EXPECT_EQ(marks(*served), marks(*sqlite));
    EXPECT_LE(peer.stats().value(QStringLiteral("logins")).toInt(), 2);
  }
}

TEST(SqlServerProgramTest, RenderGivesTheSamePdfText) {
  const auto sqlite = workspace(QString());
  const auto served = workspace(QString());
  TdsPeerOptions options;
  options.types = typeMap("nvarchar(max)", "varbinary(max)", "money");
  TdsPeer peer(served->filePath(QStringLiteral("ventas.db")), options);
  const auto dir = workspace(peer.server());
  QStringList texts;
  for (const TempAppDir* target : {sqlite.get(), dir.get()}) {
    const ProgramRun run = runProgram({QStringLiteral("render"), QStringLiteral("credito-fiscal"), QStringLiteral("CF"),
                                       QStringLiteral("319"), QStringLiteral("--app-dir"), target->path()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    texts << test::pdfText(QString::fromUtf8(run.out).trimmed());
  }
  EXPECT_EQ(texts[1], texts[0]);
  EXPECT_TRUE(texts[0].contains(QStringLiteral("HOTEL VISTA AL VOLCAN")));
}

struct FaultCase {
  const char* name;
  const char* password;  // the only one the server accepts; nullptr: the program's
  int delayMs;
  const char* delayOn;  // only replies to batches matching are delayed
  int dropAfter;        // with dropOn: the first batch matching after this many
  const char* dropOn;   // the first batch matching is dropped with its connection
  bool serverDown;
  QByteArray extraIni;
  const char* extraSql;
  int exitCode;
  const char* logPart;  // in the log, or on standard error for start-up failures
  int mails;
  int maxLogins;
};

TEST(SqlServerProgramTest, FaultsTakeTheErrorPathAndNothingIsMarkedWithoutItsMail) {
  // clang-format off
  const FaultCase cases[] = {
      {"wrong password", "otra", 0, nullptr, -1, nullptr, false, {}, "", 2,
       "OpenConnection=> Login failed for user 'tov'.", 0, 0},
      {"server down", nullptr, 0, nullptr, -1, nullptr, true, {}, "", 2, "OpenConnection=> ", 0, 0},
      {"login without answer", nullptr, 30000, nullptr, -1, nullptr, false, "LoginTimeout=1\r\n", "", 2,
       "OpenConnection=> ", 0, 0},
      {"statement without answer", nullptr, 1500, nullptr, -1, nullptr, false, "StatementTimeout=1\r\n", "", 2,
       "got no answer within 1 s", 0, 1},
      {"statement without answer in a run", nullptr, 3000, "vwDTECorvex", -1, nullptr, false,
       "StatementTimeout=1\r\n", "", 1, "(the statement got no answer within 1 s)", 0, 2},
      {"statement error", nullptr, 0, nullptr, -1, nullptr, false, {}, "DROP VIEW vwDTECorvex;\n", 1,
       "sendDTEbyMail=> Invalid object name 'vwDTECorvex'.", 0, 2},
      {"dropped at a mark", nullptr, 0, nullptr, -1, "UPDATE FACTURAS_ENC.*1251", false, {}, "", 1,
       "sendDTEbyMail=> ", 1, 2},
      // A run begins by taking the dispatch lock of the database.
      {"dropped at the run's first statement", nullptr, 0, nullptr, -1, "sp_getapplock", false, {}, "", 0, "", 4, 3},
      // The second document's lookup: the first document logged in anew.
      {"dropped at a document's first statement", nullptr, 0, nullptr, 13, "FESVAmbiente", false, {}, "", 0, "",
       4, 3},
  };
  // clang-format on
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto served = workspace(QString(), {}, QString::fromUtf8(c.extraSql));
    const QStringList before = marks(*served);
    TdsPeerOptions options;
    options.types = typeMap("nvarchar(max)", "varbinary(max)", "money");
    options.delayMs = c.delayMs;
    options.delayOn = QString::fromUtf8(c.delayOn);
    options.dropAfter = c.dropAfter;
    options.dropOn = QString::fromUtf8(c.dropOn);
    options.password = QString::fromUtf8(c.password);
    TdsPeer peer(served->filePath(QStringLiteral("ventas.db")), options);
    const QString server = peer.server();
    if (c.serverDown) peer.stop();
    const auto dir = workspace(server, c.extraIni);
    const ProgramRun run = once(*dir);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
    const bool told = logTexts(*dir).find(c.logPart) != std::string::npos || run.err.contains(c.logPart);
    EXPECT_TRUE(told) << logTexts(*dir) << "\n" << run.err.toStdString();
    const auto sent = mails(*dir);
    EXPECT_EQ(int(sent.size()), c.mails);
    // Whatever broke, a document marked by this run went out by mail.
    const QStringList after = marks(*served);
    for (qsizetype i = 0; i < after.size(); ++i) {
      if (after[i] == before.value(i)) continue;
      EXPECT_TRUE(after[i].endsWith(QStringLiteral(":1"))) << after[i].toStdString();
    }
    const int newlyMarked =
        int(std::count_if(after.begin(), after.end(), [&](const QString& m) { return !before.contains(m); }));
    EXPECT_LE(newlyMarked, int(sent.size()));
    if (!c.serverDown) {
      EXPECT_LE(peer.stats().value(QStringLiteral("logins")).toInt(), c.maxLogins);
    }
  }
}

// The company's own login, password and catalog instead of the fixed ones;
// the password, with the characters that quote or end a value, must never
// show in the log, the program's output or the check's lines.
TEST(SqlServerProgramTest, OwnLoginMailsAndMarksAndItsPasswordShowsNowhere) {
  const QString password = QStringLiteral("Ku;8{x\"Ñ=9");
  TdsPeerOptions options;
  options.types = typeMap("nvarchar(max)", "varbinary(max)", "money");
  options.user = QStringLiteral("corvex_dte");
  options.password = password;
  options.catalog = QStringLiteral("Ventas2");
  const struct {
    const char* name;
    QString password;
    int exitCode;
    int mails;
    const char* told;  // on standard error and in the log
  } cases[] = {
      {"its password", password, 0, 4, ""},
      {"a wrong password", QStringLiteral("Ku;8{x\"Ñ=8"), 2, 0, "Login failed for user 'corvex_dte'."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto served = workspace(QString());
    TdsPeer peer(served->filePath(QStringLiteral("ventas.db")), options);
    const auto dir =
        workspace(peer.server(), "User=corvex_dte\r\nPassword=" + c.password.toUtf8() + "\r\nDatabase=Ventas2\r\n");
    const QString pending = QStringLiteral("SELECT COUNT(*) FROM FACTURAS_ENC WHERE ENVIADA = 0");
    const int before = served->querySqlite(QStringLiteral("ventas.db"), pending).value(0).toInt();
    const ProgramRun run = once(*dir);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
    EXPECT_EQ(int(mails(*dir).size()), c.mails);
    EXPECT_EQ(served->querySqlite(QStringLiteral("ventas.db"), pending).value(0).toInt(), before - c.mails);
    EXPECT_TRUE(run.err.contains(c.told)) << run.err.toStdString();
    EXPECT_NE(logTexts(*dir).find(c.told), std::string::npos) << logTexts(*dir);
    const ProgramRun check = runProgram({QStringLiteral("check"), QStringLiteral("--app-dir"), dir->path()}, 120000);
    EXPECT_TRUE(check.out.contains(c.exitCode == 0 ? "ok    database login: SQL Server through ODBC, login corvex_dte"
                                                   : "FAIL  database login: "))
        << check.out.toStdString();
    // A resend logs in the same way, on its own.
    const ProgramRun resend = runProgram({QStringLiteral("resend"), QStringLiteral("CF"), QStringLiteral("318"),
                                          QStringLiteral("--app-dir"), dir->path()});
    EXPECT_EQ(resend.exitCode, c.exitCode) << resend.err.toStdString();
    for (const QByteArray& text :
         {QByteArray(logTexts(*dir).c_str()), run.out, run.err, check.out, check.err, resend.out, resend.err}) {
      EXPECT_FALSE(text.contains(c.password.toUtf8())) << text.toStdString();
      EXPECT_FALSE(text.contains("Ku;8")) << text.toStdString();
    }
    if (c.exitCode != 0) continue;
    EXPECT_EQ(once(*dir).exitCode, 0);
    EXPECT_EQ(QDir(dir->filePath(QStringLiteral("outbox"))).entryList({QStringLiteral("*.eml")}).size(), c.mails + 1);
    EXPECT_EQ(served->querySqlite(QStringLiteral("ventas.db"), pending).value(0).toInt(), before - c.mails);
  }
}

// A server that stops answering in the middle of a run, at each kind of
// statement: the run takes its error path after that one time-out, with
// nothing more sent and no new login tried, and nothing marked unmailed.
TEST(SqlServerProgramTest, AServerThatStopsAnsweringCostsOneTimeOut) {
  const struct {
    const char* stallOn;
    int mails;
  } cases[] = {{"vwDTECorvex", 0}, {"FESVAmbiente", 0}, {"tovGetFESalvador.*318", 0}, {"UPDATE FACTURAS_ENC.*318", 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stallOn);
    const auto served = workspace(QString());
    TdsPeerOptions options;
    options.types = typeMap("nvarchar(max)", "varbinary(max)", "money");
    options.stallOn = QString::fromUtf8(c.stallOn);
    TdsPeer peer(served->filePath(QStringLiteral("ventas.db")), options);
    const auto dir = workspace(peer.server(), "StatementTimeout=1\r\nLoginTimeout=1\r\n");
    const ProgramRun run = once(*dir);
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_NE(logTexts(*dir).find("(the statement got no answer within 1 s)"), std::string::npos) << logTexts(*dir);
    EXPECT_EQ(peer.stats().value(QStringLiteral("unanswered")).toInt(), 1) << logTexts(*dir);
    EXPECT_EQ(int(mails(*dir).size()), c.mails) << logTexts(*dir);
    // Marked or journaled: FA-1250 was marked before, and a mark whose
    // answer was lost may be both.
    QStringList done = test::journaled(*dir);
    for (const QString& mark : marks(*served).filter(QStringLiteral(":1"))) done << mark.chopped(2);
    done.removeDuplicates();
    EXPECT_EQ(done.size() - 1, c.mails) << done.join(' ').toStdString();
  }
}

struct TriggerCase {
  const char* name;
  const char* trigger;  // on FACTURAS_ENC, beside the audit table it writes to
  QStringList journaled;
};

// A trigger's own statements report row counts too (a DONEINPROC before the
// UPDATE's DONE): only the UPDATE's own count may decide the mark, over
// three runs.
TEST(SqlServerProgramTest, TheMarkCountsTheUpdatesOwnRowsNotATriggers) {
  const TriggerCase cases[] = {
      {"trigger swallows one mark and writes an audit row",
       "CREATE TRIGGER audit_mark BEFORE UPDATE OF ENVIADA ON FACTURAS_ENC BEGIN "
       "INSERT INTO audit VALUES (OLD.NUMERO); SELECT RAISE(IGNORE) WHERE OLD.NUMERO = 318; END",
       {QStringLiteral("CF-318")}},
      {"trigger writes two audit rows per mark",
       "CREATE TRIGGER audit_mark AFTER UPDATE OF ENVIADA ON FACTURAS_ENC BEGIN "
       "INSERT INTO audit VALUES (OLD.NUMERO); INSERT INTO audit VALUES (-OLD.NUMERO); END",
       {}},
  };
  for (const TriggerCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto served = workspace(QString(), {}, QStringLiteral("CREATE TABLE audit (numero INTEGER);\n"));
    served->querySqlite(QStringLiteral("ventas.db"), QString::fromUtf8(c.trigger));
    TdsPeer peer(served->filePath(QStringLiteral("ventas.db")));
    const auto dir = workspace(peer.server());
    for (int run = 0; run < 3; ++run) EXPECT_EQ(once(*dir).exitCode, 0) << logTexts(*dir);
    EXPECT_EQ(mails(*dir).size(), 4u) << logTexts(*dir);
    EXPECT_EQ(test::journaled(*dir), c.journaled) << logTexts(*dir);
    const QStringList marked = marks(*served);
    for (const char* document : {"CF-319", "FA-1251", "FA-1253"})
      EXPECT_TRUE(marked.contains(QString::fromLatin1(document) + QStringLiteral(":1"))) << document;
    EXPECT_EQ(logTexts(*dir).find("rows of FACTURAS_ENC"), std::string::npos) << logTexts(*dir);
    EXPECT_EQ(logTexts(*dir).find("changed no row") != std::string::npos, !c.journaled.isEmpty()) << logTexts(*dir);
  }
}

// Start-up and several runs, 5 s apart, on one healthy server.
TEST(SqlServerProgramTest, StartUpAndRunsLogInTwiceInAll) {
  const auto served = workspace(QString());
  TdsPeer peer(served->filePath(QStringLiteral("ventas.db")));
  const auto dir = workspace(peer.server());
  QProcess program;
  program.start(QStringLiteral(CORVEX_BINARY),
                {QStringLiteral("--headless"), QStringLiteral("--app-dir"), dir->path()});
  QByteArray out;
  const QDeadlineTimer deadline(60000);
  while (out.count("Last Run: ") < 3 && !deadline.hasExpired() && program.state() != QProcess::NotRunning) {
    program.waitForReadyRead(500);
    out += program.readAllStandardOutput();
  }
  program.terminate();
  program.waitForFinished(10000);
  EXPECT_EQ(out.count("Last Run: "), 3) << out.toStdString();
  EXPECT_EQ(mails(*dir).size(), 4u);
  EXPECT_EQ(peer.stats().value(QStringLiteral("logins")).toInt(), 2);
}

// A second installation forgotten on another machine, on the same database:
// the dispatch lock lets one of them mail, and the other waits for its turn.
TEST(SqlServerProgramTest, TwoInstallationsOnOneDatabaseMailEachDocumentOnce) {
  const auto served = workspace(QString());
  TdsPeerOptions options;
  options.delayOn = QStringLiteral("vwDTECorvex");
  options.delayMs = 8000;
  TdsPeer peer(served->filePath(QStringLiteral("ventas.db")), options);
  const auto first = workspace(peer.server());
  const auto second = workspace(peer.server());
  QProcess holder;
  holder.start(QStringLiteral(CORVEX_BINARY), {QStringLiteral("--once"), QStringLiteral("--app-dir"), first->path()});
  // The first holds the lock once its run sent the view's query, its 11th
  // batch (start-up: SET TEXTSIZE, seven parameters and the logo; the run:
  // the lock, then the view), whose answer the server delays.
  const QDeadlineTimer deadline(60000);
  while (peer.stats().value(QStringLiteral("batches")).toInt() < 11 && !deadline.hasExpired()) QThread::msleep(50);
  const ProgramRun waiting = once(*second);
  ASSERT_TRUE(holder.waitForFinished(60000));
  EXPECT_EQ(holder.exitCode(), 0);
  EXPECT_EQ(waiting.exitCode, 0) << waiting.err.toStdString();
  EXPECT_EQ(mails(*first).size(), 4u) << logTexts(*first);
  EXPECT_EQ(mails(*second).size(), 0u) << logTexts(*second);
  EXPECT_NE(logTexts(*second).find("Another Corvex holds the dispatch lock"), std::string::npos) << logTexts(*second);
  // Only the document that no run can mail is left.
  EXPECT_EQ(served->querySqlite(QStringLiteral("ventas.db"),
                                QStringLiteral("SELECT COUNT(*) FROM FACTURAS_ENC WHERE ENVIADA = 0")),
            QStringList{QStringLiteral("1")});
}

}  // namespace
}  // namespace corvex
