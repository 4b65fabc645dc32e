#include "startup/configuration.h"
#include "startup/application.h"

#include "base/error.h"
#include "support/expected_error.h"
#include "support/fixed_clock.h"
#include "support/temp_app_dir.h"

#include <gtest/gtest.h>

namespace corvex {
namespace {

using test::FixedClock;
using test::localTime;
using test::TempAppDir;

TEST(StartupTest, ConnectionStringKeepsTheServerAsGiven) {
  EXPECT_EQ(buildConnectionString(QStringLiteral(" db01\\VENTAS ")),
            QStringLiteral("Provider=SQLOLEDB.1;Password=+-582417;Persist Security Info=True;User ID=tov;"
                           "Initial Catalog=Velantrix;Data Source= db01\\VENTAS ;Network Library=dbmssocn"));
  EXPECT_TRUE(buildConnectionString(QString()).endsWith(QStringLiteral("Data Source=;Network Library=dbmssocn")));
}

struct PortCase {
  QString text;
  int port;   // when no error
  int error;  // 0, 6 or 13
};

TEST(StartupTest, SmtpPortConversion) {
  const PortCase cases[] = {
      {"587", 587, 0},           {" 587 ", 587, 0},
      {"25.5", 26, 0},           {"24.5", 24, 0},
      {"25.4", 25, 0},           {"-32768", -32768, 0},
      {"32767", 32767, 0},       {"32767.5", 0, kOverflow},
      {"40000", 0, kOverflow},   {"-32769", 0, kOverflow},
      {"", 0, kTypeMismatch},    {"  ", 0, kTypeMismatch},
      {"abc", 0, kTypeMismatch}, {"587abc", 0, kTypeMismatch},
  };
  for (const PortCase& c : cases) {
    qint16 port = 0;
    EXPECT_EQ(test::errorNumberOf([&] { port = smtpPortFromText(c.text); }), c.error) << c.text.toStdString();
    EXPECT_EQ(port, c.port) << c.text.toStdString();
  }
}

const QString kParameters = QStringLiteral(
    "CREATE TABLE Parametros (Parametro TEXT, Valor);\n"
    "INSERT INTO Parametros VALUES ('sysEmail', 'ventas@example.com');\n"
    "INSERT INTO Parametros VALUES ('sysSMTPServer', 'smtp.example.com');\n"
    "INSERT INTO Parametros VALUES ('sysSMTPPort', ' 24.5 ');\n"
    "INSERT INTO Parametros VALUES ('sysSMTPUser', 'mailer');\n"
    "INSERT INTO Parametros VALUES ('sysSMTPPassword', 's3cret');\n"
    "INSERT INTO Parametros VALUES ('sysSMTPFrom', 'dte@example.com');\n");

TEST(StartupTest, MainFillsTheSettingsFromMainIniAndTheDatabase) {
  TempAppDir dir;
  dir.writeFile(QStringLiteral("main.ini"), "[DB]\ncString=sqlite:ventas.db\n");
  dir.createSqlite(QStringLiteral("ventas.db"), kParameters);
  FixedClock clock(localTime(2026, 12, 7));
  RealFileSystem files;
  Application app(dir.folder(), clock, files);
  app.Main();
  const Settings& s = app.settings();
  EXPECT_EQ(s.IniPath, dir.filePath(QStringLiteral("main.ini")));
  EXPECT_TRUE(s.ConnectionString.contains(QStringLiteral(";Data Source=sqlite:ventas.db;")));
  EXPECT_EQ(s.sysEmail, QStringLiteral("ventas@example.com"));
  EXPECT_EQ(s.sysWeb, QString());
  EXPECT_EQ(s.sysSMTPServer, QStringLiteral("smtp.example.com"));
  EXPECT_EQ(s.sysSMTPPort, 24);
  EXPECT_EQ(s.sysSMTPUser, QStringLiteral("mailer"));
  EXPECT_EQ(s.sysSMTPPassword, QStringLiteral("s3cret"));
  EXPECT_EQ(s.sysSMTPFrom, QStringLiteral("dte@example.com"));
  EXPECT_FALSE(app.database().hasDbConnection());
  EXPECT_TRUE(dir.logLines().isEmpty());
}

struct SmtpLimitsCase {
  const char* ini;
  int maxMessagesPerConnection;  ///< -1: start-up fails with error 5
  int messagesPerMinute;
  int connections = 1;
  const char* heloName = "";
};

class SmtpLimits : public ::testing::TestWithParam<SmtpLimitsCase> {};

TEST_P(SmtpLimits, ReadFromTheSmtpSectionOfMainIni) {
  const test::TempAppDir dir;
  dir.writeFile(QStringLiteral("main.ini"), GetParam().ini);
  Settings settings;
  settings.IniPath = dir.filePath(QStringLiteral("main.ini"));
  if (GetParam().maxMessagesPerConnection < 0) {
    const auto error = test::raisedError([&] { readSmtpLimits(settings); });
    ASSERT_TRUE(error) << "accepted " << GetParam().ini;
    EXPECT_EQ(error->number(), kInvalidArgument);
    EXPECT_TRUE(error->description().startsWith(QStringLiteral("main.ini [SMTP] "))) << error->what();
    return;
  }
  readSmtpLimits(settings);
  EXPECT_EQ(settings.MaxMessagesPerConnection, GetParam().maxMessagesPerConnection);
  EXPECT_EQ(settings.MessagesPerMinute, GetParam().messagesPerMinute);
  EXPECT_EQ(settings.Connections, GetParam().connections);
  EXPECT_EQ(settings.HeloName, QString::fromLatin1(GetParam().heloName));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SmtpLimits,
    ::testing::Values(SmtpLimitsCase{"[DB]\r\ncString=x\r\n", 100, 0},
                      SmtpLimitsCase{"[smtp]\r\nmaxmessagesperconnection = 20\r\nMessagesPerMinute=30\r\n", 20, 30},
                      SmtpLimitsCase{"[SMTP]\r\nMessagesPerMinute=\"0\"\r\n", 100, 0},
                      SmtpLimitsCase{"[SMTP]\r\nMaxMessagesPerConnection=0\r\n", -1, 0},
                      SmtpLimitsCase{"[SMTP]\r\nMaxMessagesPerConnection=ten\r\n", -1, 0},
                      SmtpLimitsCase{"[SMTP]\r\nMessagesPerMinute=-1\r\n", -1, 0},
                      SmtpLimitsCase{"[SMTP]\r\nMessagesPerMinute=2.5\r\n", -1, 0},
                      SmtpLimitsCase{"[SMTP]\r\nMessagesPerMinute=100001\r\n", -1, 0},
                      SmtpLimitsCase{"[SMTP]\r\nConnections=4\r\nHeloName= mail.empresa.example \r\n", 100, 0, 4,
                                     "mail.empresa.example"},
                      SmtpLimitsCase{"[SMTP]\r\nConnections=10\r\nHeloName=[192.0.2.10]\r\n", 100, 0, 10,
                                     "[192.0.2.10]"},
                      SmtpLimitsCase{"[SMTP]\r\nConnections=0\r\n", -1, 0},
                      SmtpLimitsCase{"[SMTP]\r\nConnections=11\r\n", -1, 0},
                      SmtpLimitsCase{"[SMTP]\r\nHeloName=vm\r\n", -1, 0},
                      SmtpLimitsCase{"[SMTP]\r\nHeloName=mail.example\r\nX\r\n", 100, 0, 1, "mail.example"},
                      SmtpLimitsCase{"[SMTP]\r\nHeloName=bad name.example\r\n", -1, 0}));

struct LoginKeysCase {
  const char* ini;
  const char* error;  ///< part of the error 5's text; nullptr: accepted
  DatabaseLogin login;
};

// Keys that leave in doubt how to log in stop start-up, and the password
// never shows in the error.
TEST(StartupTest, LoginKeysOfMainIni) {
  const LoginKeysCase cases[] = {
      {"[DB]\r\ncString=x\r\n", nullptr, {}},
      {"[db]\r\nuser = corvex\r\nPASSWORD=\"pw;1\"\r\nDatabase=Ventas\r\n", nullptr, {"corvex", "pw;1", "Ventas"}},
      {"[DB]\r\nAuthentication=Integrated\r\n", nullptr, {QString(), QString(), QString(), true}},
      {"[DB]\r\nUser=corvex\r\n", "User needs its Password", {}},
      {"[DB]\r\nPassword=pw-secret\r\n", "Password needs the User", {}},
      {"[DB]\r\nAuthentication=integrated\r\nUser=a\r\nPassword=pw-secret\r\n", "without User and Password", {}},
      {"[DB]\r\nAuthentication=kerberos\r\n", "not \"kerberos\"", {}},
  };
  for (const LoginKeysCase& c : cases) {
    SCOPED_TRACE(c.ini);
    const TempAppDir dir;
    dir.writeFile(QStringLiteral("main.ini"), c.ini);
    const auto error = test::raisedError([&] { readDatabaseLogin(dir.filePath(QStringLiteral("main.ini"))); });
    ASSERT_EQ(error.has_value(), c.error != nullptr);
    if (error) {
      EXPECT_EQ(error->number(), kInvalidArgument);
      EXPECT_TRUE(error->description().contains(QString::fromUtf8(c.error))) << error->what();
      EXPECT_FALSE(error->description().contains(QStringLiteral("pw-secret")));
      continue;
    }
    const DatabaseLogin login = readDatabaseLogin(dir.filePath(QStringLiteral("main.ini")));
    EXPECT_EQ(login.user, c.login.user);
    EXPECT_EQ(login.password, c.login.password);
    EXPECT_EQ(login.database, c.login.database);
    EXPECT_EQ(login.integrated, c.login.integrated);
  }
}

}  // namespace
}  // namespace corvex
