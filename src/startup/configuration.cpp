#include "startup/configuration.h"

#include "base/conversions.h"
#include "base/error.h"
#include "db/connection_string.h"
#include "db/parameters.h"
#include "mail/helo_name.h"
#include "mail/mail_address.h"
#include "mail/mailbox_address.h"
#include "oauth/token_request.h"
#include "startup/ini_file.h"

#include <algorithm>

namespace corvex {

QString buildConnectionString(const QString& server, const DatabaseLogin& login) {
  return ConnectionString::forServer(server, login).text();
}

namespace {

QString dbValue(const QString& iniPath, const char* key) {
  return ReadIniValue(iniPath, QStringLiteral("DB"), QString::fromLatin1(key), QString());
}

Error loginKeysError(const QString& text) { return Error(kInvalidArgument, QStringLiteral("main.ini [DB] ") + text); }

// A time-out from main.ini may shorten the default, never lift it: an
// unattended program must not wait on a silent server for ever.
int timeoutSeconds(const QString& text, int bound) {
  bool ok = false;
  const int seconds = text.trimmed().toInt(&ok);
  return ok && seconds > 0 ? std::min(seconds, bound) : bound;
}

}  // namespace

DatabaseLogin readDatabaseLogin(const QString& iniPath) {
  DatabaseLogin login{dbValue(iniPath, "User"), dbValue(iniPath, "Password"), dbValue(iniPath, "Database"), false};
  const QString authentication = dbValue(iniPath, "Authentication");
  if (!authentication.isEmpty() && authentication.compare(QStringLiteral("integrated"), Qt::CaseInsensitive) != 0)
    throw loginKeysError(QStringLiteral("Authentication must be integrated or absent, not \"%1\"").arg(authentication));
  login.integrated = !authentication.isEmpty();
  if (login.integrated && (!login.user.isEmpty() || !login.password.isEmpty()))
    throw loginKeysError(QStringLiteral("Authentication=integrated logs in without User and Password: remove them"));
  if (login.user.isEmpty() != login.password.isEmpty())
    throw loginKeysError(login.user.isEmpty() ? QStringLiteral("Password needs the User it belongs to")
                                              : QStringLiteral("User needs its Password"));
  return login;
}

// Not part of the connection string: which ODBC driver reaches SQL Server and
// its options differ from machine to machine, so main.ini may name them.
DbEnvironment databaseEnvironment(const AppFolder& folder, const QString& iniPath) {
  const QString driver = dbValue(iniPath, "Driver");
  DbEnvironment environment(folder, driver.isEmpty() ? defaultOdbcDriver() : driver);
  environment.driverOptions = dbValue(iniPath, "DriverOptions");
  environment.loginTimeout = timeoutSeconds(dbValue(iniPath, "LoginTimeout"), DbEnvironment::kLoginTimeout);
  environment.statementTimeout = timeoutSeconds(dbValue(iniPath, "StatementTimeout"), DbEnvironment::kStatementTimeout);
  return environment;
}

std::int16_t smtpPortFromText(const QString& text) { return toInt16(textToNumber(text)); }

namespace {

constexpr int kLargestSmtpLimit = 100000;
constexpr int kMostConnections = 10;

int iniWholeNumber(const QString& iniPath, const char* section, const char* key, int defaultValue, int smallest,
                   int largest) {
  const QString name = QString::fromLatin1(key);
  const QString text = ReadIniValue(iniPath, QString::fromLatin1(section), name, QString());
  if (text.isEmpty()) return defaultValue;
  bool ok = false;
  const int value = text.toInt(&ok);
  if (ok && value >= smallest && value <= largest) return value;
  throw Error(kInvalidArgument, QStringLiteral("main.ini [%1] %2 must be a whole number from %3 to %4, not \"%5\"")
                                    .arg(QString::fromLatin1(section), name)
                                    .arg(smallest)
                                    .arg(largest)
                                    .arg(text));
}

int smtpLimit(const QString& iniPath, const char* key, int defaultValue, int smallest,
              int largest = kLargestSmtpLimit) {
  return iniWholeNumber(iniPath, "SMTP", key, defaultValue, smallest, largest);
}

}  // namespace

void readSmtpLimits(Settings& settings) {
  settings.MaxMessagesPerConnection = smtpLimit(settings.IniPath, "MaxMessagesPerConnection", 100, 1);
  settings.MessagesPerMinute = smtpLimit(settings.IniPath, "MessagesPerMinute", 0, 0);
  settings.Connections = smtpLimit(settings.IniPath, "Connections", 1, 1, kMostConnections);
  settings.HeloName = configuredHeloName(settings.IniPath);
}

namespace {

QString oauthValue(const QString& iniPath, const char* key) {
  return ReadIniValue(iniPath, QStringLiteral("OAuth"), QString::fromLatin1(key), QString()).trimmed();
}

SmtpAuth configuredAuth(const QString& iniPath) {
  const QString auth = ReadIniValue(iniPath, QStringLiteral("SMTP"), QStringLiteral("Auth"), QString()).trimmed();
  if (auth.isEmpty() || auth.compare(QStringLiteral("password"), Qt::CaseInsensitive) == 0) return SmtpAuth::Password;
  if (auth.compare(QStringLiteral("xoauth2"), Qt::CaseInsensitive) == 0) return SmtpAuth::XOAuth2;
  throw Error(kInvalidArgument,
              QStringLiteral("main.ini [SMTP] Auth must be password or xoauth2, not \"%1\"").arg(auth));
}

}  // namespace

void readOAuthSettings(Settings& settings) {
  const QString& ini = settings.IniPath;
  settings.Auth = configuredAuth(ini);
  settings.OAuth =
      OAuthSettings{oauthValue(ini, "Provider").toLower(), oauthValue(ini, "TenantId"), oauthValue(ini, "ClientId"),
                    oauthValue(ini, "ClientSecret"),       oauthValue(ini, "KeyFile"),  oauthValue(ini, "RefreshToken"),
                    oauthValue(ini, "TokenUrl"),           oauthValue(ini, "Scope")};
  const QString& provider = settings.OAuth.Provider;
  if (!provider.isEmpty() && !isKnownProvider(provider)) throw Error(kInvalidArgument, unknownProviderText(provider));
}

namespace {

// A century of months: anything more is a typo.
constexpr int kMostKeptMonths = 1200;

QString bouncesValue(const QString& iniPath, const char* key) {
  return ReadIniValue(iniPath, QStringLiteral("Bounces"), QString::fromLatin1(key), QString()).trimmed();
}

Error bouncesError(const QString& text) {
  return Error(kInvalidArgument, QStringLiteral("main.ini [Bounces] ") + text);
}

}  // namespace

void readLedgerAndBounceSettings(Settings& settings) {
  const QString& ini = settings.IniPath;
  settings.LedgerKeepMonths = iniWholeNumber(ini, "Ledger", "KeepMonths", 0, 0, kMostKeptMonths);
  BounceSettings bounces{bouncesValue(ini, "Mailbox"), bouncesValue(ini, "User"), bouncesValue(ini, "Password"),
                         bouncesValue(ini, "DoneFolder"), bouncesValue(ini, "Notify")};
  if (!bounces.Mailbox.isEmpty()) {
    const MailboxAddress address = mailboxAddress(bounces.Mailbox);
    if (!address.problem.isEmpty()) throw bouncesError(QStringLiteral("Mailbox: ") + address.problem);
    if (address.kind == MailboxAddress::Kind::Graph && settings.OAuth.Provider.isEmpty())
      throw bouncesError(QStringLiteral("Mailbox=graph: reads through Microsoft Graph, which needs [OAuth] Provider"));
  }
  if (bounces.User.isEmpty() != bounces.Password.isEmpty())
    throw bouncesError(bounces.User.isEmpty() ? QStringLiteral("Password needs the User it belongs to")
                                              : QStringLiteral("User needs its Password"));
  if (const QString problem =
          bounces.Notify.isEmpty() ? QString() : addressProblem(QStringLiteral("Notify"), bounces.Notify);
      !problem.isEmpty())
    throw bouncesError(problem);
  settings.Bounces = bounces;
}

RenderSource configuredRenderSource(const QString& iniPath) {
  const QString source =
      ReadIniValue(iniPath, QStringLiteral("Render"), QStringLiteral("Source"), QString()).trimmed().toLower();
  if (source.isEmpty() || source == QStringLiteral("procedure")) return RenderSource::Procedure;
  if (source == QStringLiteral("json")) return RenderSource::Json;
  throw Error(kInvalidArgument,
              QStringLiteral("main.ini [Render] Source must be procedure or json, not \"%1\"").arg(source));
}

QString configuredHeloName(const QString& iniPath) {
  const QString name = ReadIniValue(iniPath, QStringLiteral("SMTP"), QStringLiteral("HeloName"), QString()).trimmed();
  if (const QString problem = name.isEmpty() ? QString() : heloNameProblem(name); !problem.isEmpty())
    throw Error(kInvalidArgument, QStringLiteral("main.ini [SMTP] HeloName: ") + problem);
  return name;
}

void readParameters(Database& database, Settings& settings) {
  settings.sysEmail = GetParameter(database, QStringLiteral("sysEmail"));
  settings.sysWeb = GetParameter(database, QStringLiteral("sysWeb"));
  settings.sysSMTPServer = GetParameter(database, QStringLiteral("sysSMTPServer"));
  settings.sysSMTPPort = smtpPortFromText(GetParameter(database, QStringLiteral("sysSMTPPort")));
  settings.sysSMTPUser = GetParameter(database, QStringLiteral("sysSMTPUser"));
  settings.sysSMTPPassword = GetParameter(database, QStringLiteral("sysSMTPPassword"));
  settings.sysSMTPFrom = GetParameter(database, QStringLiteral("sysSMTPFrom"));
}

}  // namespace corvex
