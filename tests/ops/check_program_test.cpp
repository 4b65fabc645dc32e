#include "support/demo_setup.h"
#include "support/program.h"
#include "support/smtp_peer.h"
#include "support/tds_peer.h"
#include "support/temp_app_dir.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <functional>

namespace corvex {
namespace {

using test::runProgram;
using test::SmtpPeer;
using test::SmtpPeerOptions;
using test::TdsPeer;
using test::TdsPeerOptions;
using test::TempAppDir;

const QStringList kFolders = test::demoRunFolders();

QString smtpParameters(int port, const QString& password) {
  return QStringLiteral(
             "UPDATE Parametros SET Valor = '127.0.0.1' WHERE Parametro = 'sysSMTPServer';\n"
             "UPDATE Parametros SET Valor = '%1' WHERE Parametro = 'sysSMTPPort';\n"
             "UPDATE Parametros SET Valor = 'dte' WHERE Parametro = 'sysSMTPUser';\n"
             "UPDATE Parametros SET Valor = '%2' WHERE Parametro = 'sysSMTPPassword';\n")
      .arg(port)
      .arg(password);
}

struct CheckRun {
  int exitCode;
  QStringList lines;
  QByteArray err;
};

CheckRun runCheck(const TempAppDir& dir, const QString& caBundle = QString()) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  if (!caBundle.isEmpty()) environment.insert(QStringLiteral("CURL_CA_BUNDLE"), caBundle);
  const auto run = runProgram({QStringLiteral("check"), QStringLiteral("--app-dir"), dir.path()}, 90000, environment);
  return {run.exitCode, QString::fromUtf8(run.out).split(u'\n', Qt::SkipEmptyParts), run.err};
}

// The lines that did not pass, as "FAIL  check" or "skip  check".
QStringList notPassed(const QStringList& lines) {
  QStringList found;
  for (const QString& line : lines) {
    if (!line.startsWith(QStringLiteral("ok  "))) found << line.section(u':', 0, 0);
  }
  return found;
}

struct BrokenCase {
  const char* name;
  std::function<void(const TempAppDir&)> breakIt;
  QStringList expected;  // the lines that do not pass
  QString reason;        // a part of the first of them
};

// Nothing may come of a check: no mail, no mark, no log line, no file left.
void expectUntouched(const TempAppDir& dir, const char* name) {
  EXPECT_EQ(dir.querySqlite(QStringLiteral("ventas.db"),
                            QStringLiteral("SELECT COUNT(*) FROM FACTURAS_ENC WHERE ENVIADA = 1")),
            QStringList{QStringLiteral("1")})
      << name;
  EXPECT_TRUE(dir.logLines().isEmpty()) << name;
  for (const QString& folder : kFolders) {
    if (QDir(dir.filePath(folder)).exists()) {
      EXPECT_TRUE(QDir(dir.filePath(folder)).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
          << name << " " << folder.toStdString();
    }
  }
}

TEST(CheckProgramTest, OneLinePerProblemAndStatus1) {
  const BrokenCase cases[] = {
      {"all well", [](const TempAppDir&) {}, {}, {}},
      {"no main.ini",
       [](const TempAppDir& d) { QFile::remove(d.filePath(QStringLiteral("main.ini"))); },
       {"FAIL  main.ini", "skip  database", "skip  mail"},
       "cannot read"},
      {"wrong database",
       [](const TempAppDir& d) { d.writeFile(QStringLiteral("main.ini"), "[DB]\ncString=sqlite:nada.db\n"); },
       {"FAIL  database login", "skip  mail"},
       "sqlite:"},
      {"missing parameter",
       [](const TempAppDir& d) {
         d.querySqlite(QStringLiteral("ventas.db"),
                       QStringLiteral("DELETE FROM Parametros WHERE Parametro = 'sysWeb'"));
       },
       {"FAIL  parameter sysWeb"},
       "missing. Fix: add the row"},
      {"port out of range",
       [](const TempAppDir& d) {
         d.querySqlite(QStringLiteral("ventas.db"),
                       QStringLiteral("UPDATE Parametros SET Valor = '40000' WHERE Parametro = 'sysSMTPPort'"));
       },
       {"FAIL  parameter sysSMTPPort", "skip  mail"},
       "error 6: Overflow"},
      {"bad sender",
       [](const TempAppDir& d) {
         d.querySqlite(
             QStringLiteral("ventas.db"),
             QStringLiteral("UPDATE Parametros SET Valor = 'dte at company' WHERE Parametro = 'sysSMTPFrom'"));
       },
       {"FAIL  parameter sysSMTPFrom", "skip  mail"},
       "dte at company"},
      {"view without a column",
       [](const TempAppDir& d) {
         d.querySqlite(QStringLiteral("ventas.db"), QStringLiteral("DROP VIEW vwDTECorvex"));
         d.querySqlite(
             QStringLiteral("ventas.db"),
             QStringLiteral("CREATE VIEW vwDTECorvex AS SELECT IDDOCUMENTO AS IdDocumento FROM FACTURAS_ENC"));
       },
       {"FAIL  view vwDTECorvex"},
       "lacks the columns SelloRecibido"},
      {"broken logo",
       [](const TempAppDir& d) {
         d.querySqlite(QStringLiteral("ventas.db"), QStringLiteral("UPDATE SYSDATA SET LOGO = X'00112233'"));
       },
       {"FAIL  logo"},
       "error 481"},
      {"missing folder",
       [](const TempAppDir& d) { QDir(d.filePath(QStringLiteral("files"))).removeRecursively(); },
       {"FAIL  folder files"},
       "does not exist"},
      {"broken layout",
       [](const TempAppDir& d) {
         QDir(d.path()).mkdir(QStringLiteral("layouts"));
         d.writeFile(QStringLiteral("layouts/arSVDTEFactura.json"), "{\"name\": \"arSVDTEFactura\", \"bogus\": 1}");
       },
       {"FAIL  layout arSVDTEFactura"},
       "error 321"},
      {"no procedure, printed from the JSON",
       [](const TempAppDir& d) {
         d.querySqlite(QStringLiteral("ventas.db"), QStringLiteral("DELETE FROM procedures"));
         d.writeFile(QStringLiteral("main.ini"), "[DB]\r\ncString=sqlite:ventas.db\r\n[Render]\r\nSource=json\r\n");
       },
       {},
       ""},
      {"no procedure",
       [](const TempAppDir& d) {
         d.querySqlite(QStringLiteral("ventas.db"), QStringLiteral("DELETE FROM procedures"));
       },
       {"FAIL  procedure tovGetFESalvador"},
       "not stored"},
      {"unknown source",
       [](const TempAppDir& d) {
         d.writeFile(QStringLiteral("main.ini"), "[DB]\r\ncString=sqlite:ventas.db\r\n[Render]\r\nSource=pdf\r\n");
       },
       {"FAIL  printed versions"},
       "procedure or json"},
      {"no pickup folder",
       [](const TempAppDir& d) { QDir(d.filePath(QStringLiteral("outbox"))).removeRecursively(); },
       {"FAIL  mail"},
       "outbox does not exist"},
  };
  for (const BrokenCase& c : cases) {
    TempAppDir dir(kFolders);
    test::writeDemoSetUp(dir);
    c.breakIt(dir);
    const CheckRun run = runCheck(dir);
    EXPECT_EQ(run.exitCode, c.expected.isEmpty() ? 0 : 1) << c.name << "\n" << run.lines.join(u'\n').toStdString();
    EXPECT_EQ(notPassed(run.lines), c.expected) << c.name << "\n" << run.lines.join(u'\n').toStdString();
    if (!c.expected.isEmpty()) {
      const QString first = run.lines.filter(c.expected.first()).value(0);
      EXPECT_TRUE(first.contains(c.reason)) << c.name << ": " << first.toStdString();
      if (first.startsWith(QStringLiteral("FAIL"))) {
        EXPECT_TRUE(first.contains(QStringLiteral(". Fix: "))) << c.name;
      }
    }
    EXPECT_TRUE(run.err.isEmpty()) << c.name << ": " << run.err.toStdString();
    if (c.expected.isEmpty()) {
      EXPECT_EQ(run.lines.filter(QStringLiteral("layout arSVDTE11: built-in, DTE 11 versions 1 and 3")).size(), 1)
          << c.name << "\n"
          << run.lines.join(u'\n').toStdString();
    }
    if (QFile::exists(dir.filePath(QStringLiteral("ventas.db")))) expectUntouched(dir, c.name);
  }
}

// A password in main.ini is the database's key: other users must not read
// the file. The SQLite set-up ignores the login, so only the file counts.
TEST(CheckProgramTest, MainIniWithAPasswordReadableByOthersFails) {
  const struct {
    const char* name;
    QByteArray login;
    QFileDevice::Permissions permissions;
    QStringList expected;
    QString reason;
  } cases[] = {
      {"owner only", "User=corvex\r\nPassword=pw\r\n", QFileDevice::ReadOwner | QFileDevice::WriteOwner, {}, {}},
      {"every user",
       "User=corvex\r\nPassword=pw\r\n",
       QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther,
       {"FAIL  main.ini password"},
       "mode 0644 lets its group and every other user read it. Fix: chmod 600 "},
      {"its group",
       "User=corvex\r\nPassword=pw\r\n",
       QFileDevice::ReadOwner | QFileDevice::ReadGroup,
       {"FAIL  main.ini password"},
       "mode 0440 lets its group read it"},
      {"no password", {}, QFileDevice::ReadOwner | QFileDevice::ReadOther, {}, {}},
      {"a user without password",
       "User=corvex\r\n",
       QFileDevice::ReadOwner,
       {"FAIL  main.ini", "skip  database", "skip  mail"},
       "error 5: main.ini [DB] User needs its Password"},
  };
  for (const auto& c : cases) {
    TempAppDir dir(kFolders);
    test::writeDemoSetUp(dir);
    const QString ini = dir.filePath(QStringLiteral("main.ini"));
    dir.writeFile(QStringLiteral("main.ini"), dir.readFile(QStringLiteral("main.ini")) + "\r\n" + c.login);
    ASSERT_TRUE(QFile::setPermissions(ini, c.permissions));
    const CheckRun run = runCheck(dir);
    EXPECT_EQ(notPassed(run.lines), c.expected) << c.name << "\n" << run.lines.join(u'\n').toStdString();
    EXPECT_EQ(run.exitCode, c.expected.isEmpty() ? 0 : 1) << c.name;
    if (!c.expected.isEmpty()) {
      EXPECT_TRUE(run.lines.filter(c.expected.first()).value(0).contains(c.reason))
          << c.name << "\n"
          << run.lines.join(u'\n').toStdString();
    }
    EXPECT_EQ(run.lines.filter(QStringLiteral("main.ini password")).size(), c.login.contains("Password") ? 1 : 0);
  }
}

// Root writes through permission bits, so only the kernel can refuse it: the
// folder qr becomes a read-only bind mount of itself.
class ReadOnlyMount {
 public:
  explicit ReadOnlyMount(const QString& path) : m_path(path) {
    m_mounted = QProcess::execute(QStringLiteral("mount"), {QStringLiteral("--bind"), QStringLiteral("-o"),
                                                            QStringLiteral("ro"), path, path}) == 0;
  }
  ~ReadOnlyMount() {
    if (m_mounted) QProcess::execute(QStringLiteral("umount"), {m_path});
  }
  bool mounted() const { return m_mounted; }

 private:
  QString m_path;
  bool m_mounted = false;
};

// On SQL Server the rights are the server's to answer; the test server grants
// all but what a case denies.
TEST(CheckProgramTest, SqlServerLoginAndRightsAreAskedOfTheServer) {
  const auto denying = [](const char* right) {
    TdsPeerOptions options;
    options.deny << QString::fromLatin1(right);
    return options;
  };
  TdsPeerOptions otherPassword;
  otherPassword.password = QStringLiteral("other");
  const struct {
    const char* name;
    TdsPeerOptions options;
    QStringList expected;
  } cases[] = {
      {"all granted", {}, {}},
      {"no update", denying("UPDATE:FACTURAS_ENC"), {"FAIL  marking documents"}},
      {"no execute", denying("EXECUTE:tovGetFESalvador"), {"FAIL  procedure tovGetFESalvador"}},
      {"login refused", otherPassword, {"FAIL  database login", "skip  mail"}},
  };
  for (const auto& c : cases) {
    TempAppDir dir(kFolders);
    test::writeDemoSetUp(dir);
    TdsPeer peer(dir.filePath(QStringLiteral("ventas.db")), c.options);
    dir.writeFile(QStringLiteral("main.ini"), "[DB]\r\ncString=" + peer.server().toUtf8() + "\r\n");
    const CheckRun run = runCheck(dir);
    EXPECT_EQ(notPassed(run.lines), c.expected) << c.name << "\n" << run.lines.join(u'\n').toStdString();
    EXPECT_EQ(run.exitCode, c.expected.isEmpty() ? 0 : 1) << c.name;
    expectUntouched(dir, c.name);
  }
}

TEST(CheckProgramTest, ReadOnlyFolderFails) {
  TempAppDir dir(kFolders);
  test::writeDemoSetUp(dir);
  const ReadOnlyMount readOnly(dir.filePath(QStringLiteral("qr")));
  ASSERT_TRUE(readOnly.mounted()) << "a read-only bind mount needs root (CAP_SYS_ADMIN)";
  const CheckRun run = runCheck(dir);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(notPassed(run.lines), QStringList{QStringLiteral("FAIL  folder qr")});
  EXPECT_TRUE(run.lines.filter(QStringLiteral("folder qr")).value(0).contains(QStringLiteral("is not writable")));
}

TEST(CheckProgramTest, SmtpIsCheckedUpToTheSenderWithoutSending) {
  SmtpPeerOptions options;
  options.user = QStringLiteral("dte");
  options.password = QStringLiteral("s3cret");
  SmtpPeer peer(options);
  const struct {
    const char* name;
    QString password;
    int port;
    QString expected;
  } cases[] = {
      {"accepted", QStringLiteral("s3cret"), peer.port(),
       QStringLiteral("ok    mail: 127.0.0.1:%1 (STARTTLS, login as dte), sender dte@laceiba.example accepted: 250")},
      {"refused login", QStringLiteral("wrong"), peer.port(),
       QStringLiteral("FAIL  mail: 127.0.0.1:%1 (STARTTLS, login as dte): ")},
      {"nobody listening", QStringLiteral("s3cret"), 1,
       QStringLiteral("FAIL  mail: 127.0.0.1:%1 (STARTTLS, login as dte): ")},
  };
  for (const auto& c : cases) {
    TempAppDir dir(kFolders);
    test::writeDemoSetUp(dir, smtpParameters(c.port, c.password));
    const CheckRun run = runCheck(dir, peer.caBundle());
    const QString mail = run.lines.filter(QStringLiteral("  mail: ")).value(0);
    EXPECT_TRUE(mail.startsWith(c.expected.arg(c.port))) << c.name << ": " << mail.toStdString();
    EXPECT_EQ(run.exitCode, mail.startsWith(QStringLiteral("ok")) ? 0 : 1) << c.name;
    if (std::string(c.name) == "refused login") {
      EXPECT_TRUE(mail.contains(QStringLiteral("Fix: check sysSMTPUser and sysSMTPPassword"))) << mail.toStdString();
    }
    expectUntouched(dir, c.name);
  }
  EXPECT_TRUE(peer.messageFiles().isEmpty());
}

}  // namespace
}  // namespace corvex
