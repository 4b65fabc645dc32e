#include "ops/setup_check.h"

#include "base/conversions.h"
#include "base/error.h"
#include "base/file_readers.h"
#include "db/connection_string.h"
#include "dte/dte_type.h"
#include "dte/fact_table.h"
#include "mail/graph_transport.h"
#include "mail/helo_name.h"
#include "mail/mail_account.h"
#include "mail/pickup_folder.h"
#include "mail/smtp_dialogue.h"
#include "ops/check_report.h"
#include "ops/database_check.h"
#include "ops/oauth_check.h"
#include "ops/running_wait.h"
#include "render/layout_file.h"
#include "startup/configuration.h"
#include "startup/ini_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

namespace corvex {

namespace {

const QString kMail = QStringLiteral("mail");
const QString kWait = QStringLiteral("login wait");

// Creating a file is the only sure test of writing: permission bits do not
// tell about read-only mounts, ACLs or a full quota of files.
QString folderProblem(const QString& path) {
  if (!QFileInfo(path).isDir()) return QStringLiteral("%1 does not exist").arg(QDir::toNativeSeparators(path));
  QTemporaryFile probe(QDir(path).filePath(QStringLiteral(".corvex-check-XXXXXX")));
  if (!probe.open())
    return QStringLiteral("%1 is not writable (%2)").arg(QDir::toNativeSeparators(path), probe.errorString());
  return {};
}

// What main.ini says of the database; the server is empty when main.ini is
// not usable.
struct IniDatabase {
  QString server;
  DatabaseLogin login;
};

QString errorText(const Error& error) {
  return QStringLiteral("error %1: %2").arg(error.number()).arg(error.description());
}

bool checkLoginKeys(const QString& path, DatabaseLogin& login, CheckReport& report) {
  // Trapped here: keys that do not go together are this check's verdict.
  try {
    login = readDatabaseLogin(path);
    return true;
  } catch (const Error& error) {
    report.fail(QStringLiteral("main.ini"), errorText(error),
                QStringLiteral("under [DB], set User and Password together (or neither, for the fixed login), or "
                               "Authentication=integrated without them"));
    return false;
  }
}

// A password in a file that others may read is everyone's password.
void checkPasswordReaders(const QString& path, CheckReport& report) {
  const QString check = QStringLiteral("main.ini password");
  const QString readers = otherReaders(path);
  if (readers.isEmpty())
    report.pass(check, QStringLiteral("only the file's owner may read it"));
  else
    report.fail(check, QStringLiteral("the file holds the database password and ") + readers, ownerOnlyFix(path));
}

IniDatabase checkIni(const AppFolder& folder, CheckReport& report) {
  const QString path = folder.path(QStringLiteral("main.ini"));
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    report.fail(QStringLiteral("main.ini"),
                QStringLiteral("cannot read %1 (%2)").arg(QDir::toNativeSeparators(path), file.errorString()),
                QStringLiteral("create it with a section [DB] holding cString=<SQL Server host>, readable by the "
                               "program's user"));
    return {};
  }
  IniDatabase ini{ReadIniConnectionString(path), {}};
  if (ini.server.isEmpty()) {
    report.fail(QStringLiteral("main.ini"), QStringLiteral("no cString under [DB]"),
                QStringLiteral("add cString=<host>, <host\\instance>, <host,port> or sqlite:<file> under [DB]"));
    return {};
  }
  if (!checkLoginKeys(path, ini.login, report)) return {};
  report.pass(QStringLiteral("main.ini"), QStringLiteral("database \"%1\"").arg(ini.server));
  if (!ini.login.password.isEmpty()) checkPasswordReaders(path, report);
  return ini;
}

// A value start-up would refuse fails here; the procedure is then checked
// as for the default.
RenderSource checkRenderSource(const AppFolder& folder, CheckReport& report) {
  // Trapped here: a bad value is this check's verdict.
  try {
    const RenderSource source = configuredRenderSource(folder.path(QStringLiteral("main.ini")));
    report.pass(QStringLiteral("printed versions"), source == RenderSource::Json
                                                        ? QStringLiteral("every document from its JSON")
                                                        : QStringLiteral("Formato 40/41/43/44 from tovGetFESalvador, "
                                                                         "the others from their JSON"));
    return source;
  } catch (const Error& error) {
    report.fail(QStringLiteral("printed versions"), error.description(),
                QStringLiteral("write Source=procedure or Source=json in [Render]"));
    return RenderSource::Procedure;
  }
}

// A token login needs no sysSMTPPassword; a bad Auth value is reported with
// the mail check.
bool passwordLogin(const AppFolder& folder) {
  Settings settings;
  settings.IniPath = folder.path(QStringLiteral("main.ini"));
  // Trapped here: see above.
  try {
    readOAuthSettings(settings);
  } catch (const Error&) {
    return true;
  }
  return settings.Auth == SmtpAuth::Password;
}

std::optional<ParameterValues> checkDatabaseOf(const AppFolder& folder, const IniDatabase& ini, CheckReport& report) {
  if (ini.server.isEmpty()) {
    report.skip(QStringLiteral("database"), QStringLiteral("needs a usable main.ini"));
    return std::nullopt;
  }
  return checkDatabase(ConnectionString::forServer(ini.server, ini.login),
                       databaseEnvironment(folder, folder.path(QStringLiteral("main.ini"))),
                       checkRenderSource(folder, report), report, passwordLogin(folder));
}

void checkFolders(const AppFolder& folder, CheckReport& report) {
  for (const QString& name : {QStringLiteral("logs"), QStringLiteral("files"), QStringLiteral("qr")}) {
    const QString problem = folderProblem(folder.path(name));
    if (problem.isEmpty())
      report.pass(QStringLiteral("folder ") + name, QStringLiteral("writable"));
    else
      report.fail(QStringLiteral("folder ") + name, problem,
                  QStringLiteral("create it in the Application folder and let the program's user write there "
                                 "(the program never creates its folders)"));
  }
}

// The two layouts of the stored procedure's rows and the eleven of the
// documents printed from their JSON, each of these with the versions of its
// type it prints (the first and the second generation of the schemas).
QList<std::pair<QString, QString>> layoutNames() {
  QList<std::pair<QString, QString>> names{{QStringLiteral("arSVDTEFactura"), QString()},
                                           {QStringLiteral("arSVDTECreditoFiscal"), QString()}};
  for (const DteType& type : dteTypes()) {
    const QList<int> versions = FactTable::standard().versions(type.code);
    names.append(
        {QStringLiteral("arSVDTE") + type.code, QStringLiteral(", DTE %1 versions %2 and %3 (a later one as %3)")
                                                    .arg(type.code)
                                                    .arg(versions.value(0))
                                                    .arg(versions.value(1))});
  }
  return names;
}

void checkLayouts(const AppFolder& folder, CheckReport& report) {
  for (const auto& [name, versions] : layoutNames()) {
    const QString file = QStringLiteral("layouts/%1.json").arg(name);
    // Trapped here: a layout that does not load is this check's verdict.
    try {
      loadLayout(name, folder);
      report.pass(QStringLiteral("layout ") + name,
                  (QFile::exists(folder.path(file)) ? file : QStringLiteral("built-in")) + versions);
    } catch (const Error& error) {
      report.fail(QStringLiteral("layout ") + name, errorText(error),
                  QStringLiteral("correct %1, or remove it to use the built-in layout").arg(file));
    }
  }
}

QString valueOf(const ParameterValues& values, const QString& name) {
  const auto found = values.find(name);
  return found == values.end() ? QString() : found->second.value_or(QString());
}

bool mailParametersValid(const AppFolder& folder, const ParameterValues& values) {
  for (const char* name : {"sysSMTPServer", "sysSMTPPort", "sysSMTPUser", "sysSMTPPassword", "sysSMTPFrom"}) {
    if (!judgeParameter(QString::fromLatin1(name), values, passwordLogin(folder)).problem.isEmpty()) return false;
  }
  return true;
}

// The reply's hint where the table has one; else libcurl's texts for the
// usual faults, each with what mends it.
QString smtpFix(const SmtpReply& reply, const HintContext& context) {
  if (const QString hint = replyHint(reply.toString(), context); !hint.isEmpty()) return hint;
  const QString text = reply.text.toLower();
  if (reply.code >= 500)
    return QStringLiteral("the server refuses sysSMTPFrom as sender: use an address the SMTP account may send as");
  if (text.contains(QStringLiteral("login")) || text.contains(QStringLiteral("auth")))
    return QStringLiteral("check sysSMTPUser and sysSMTPPassword (many providers want an application password)");
  if (text.contains(QStringLiteral("certificate")) || text.contains(QStringLiteral("ssl")))
    return QStringLiteral(
        "the server's certificate must match sysSMTPServer and be signed by a trusted CA; for a "
        "private CA name its PEM file in CURL_CA_BUNDLE");
  return QStringLiteral(
      "check sysSMTPServer and sysSMTPPort (587 STARTTLS, 465 TLS) and that a firewall lets the "
      "program reach that port");
}

// The mail settings start-up would make of `values` and main.ini; empty,
// with the failure reported, when main.ini's mail keys are not usable.
std::optional<Settings> mailSettingsOf(const AppFolder& folder, const ParameterValues& values, CheckReport& report) {
  Settings settings;
  settings.IniPath = folder.path(QStringLiteral("main.ini"));
  settings.sysSMTPServer = valueOf(values, QStringLiteral("sysSMTPServer"));
  settings.sysSMTPPort = toInt16(textToNumber(valueOf(values, QStringLiteral("sysSMTPPort"))));
  settings.sysSMTPUser = valueOf(values, QStringLiteral("sysSMTPUser"));
  settings.sysSMTPPassword = valueOf(values, QStringLiteral("sysSMTPPassword"));
  settings.sysSMTPFrom = valueOf(values, QStringLiteral("sysSMTPFrom"));
  // Trapped here: a bad value is this check's failure, like any other.
  try {
    settings.HeloName = heloName(configuredHeloName(settings.IniPath), settings.sysSMTPServer);
  } catch (const Error& error) {
    report.fail(kMail, error.description(), QStringLiteral("give HeloName the machine's public DNS name"));
    return std::nullopt;
  }
  try {
    readOAuthSettings(settings);
  } catch (const Error& error) {
    report.fail(kMail, error.description(),
                QStringLiteral("write Auth=password or Auth=xoauth2 under [SMTP], and Provider=microsoft, google or "
                               "refresh-token under [OAuth]"));
    return std::nullopt;
  }
  return settings;
}

// The check always tries, whatever the running program waits for; a login
// of its own that worked ends that wait.
void checkRunningWait(const AppFolder& folder, const Settings& settings, bool loggedIn, CheckReport& report) {
  const RunningWait wait = runningWait(folder, settings, loggedIn, QDateTime::currentDateTime());
  if (wait.text.isEmpty()) return;
  if (!wait.holds) {
    report.pass(kWait, wait.text);
    return;
  }
  report.fail(kWait, wait.text,
              QStringLiteral("make the login work (see the mail line): a check or test-mail whose login works ends the "
                             "wait, and so does a change of main.ini's login keys; after a change of the Parametros, "
                             "restart the program"));
}

void checkSmtp(const AppFolder& folder, const Settings& settings, CheckReport& report, const StopCheck& stop) {
  MailAccount account = mailAccount(settings, folder, stop);
  if (usesTokens(settings)) account.tokens = checkOAuth(folder, settings, report, stop);
  if (usesTokens(settings) && !account.tokens) {
    report.skip(kMail, QStringLiteral("needs an OAuth token"));
    checkRunningWait(folder, settings, false, report);
    return;
  }
  const QString login =
      settings.Auth == SmtpAuth::XOAuth2 ? QStringLiteral("XOAUTH2 login as ") : QStringLiteral("login as ");
  bool loggedIn = false;
  const SmtpReply reply = probeSender(account, settings.sysSMTPFrom, stop, &loggedIn);
  const QString where =
      QStringLiteral("%1:%2 (%3, %4)")
          .arg(account.server)
          .arg(account.port)
          .arg(tlsModeFor(account.port, true) == TlsMode::Implicit ? QStringLiteral("TLS") : QStringLiteral("STARTTLS"))
          .arg(account.user.isEmpty() ? QStringLiteral("no login") : login + account.user);
  if (reply.isPositive())
    report.pass(
        kMail,
        where + QStringLiteral(", sender %1 accepted: %2; nothing sent").arg(settings.sysSMTPFrom, reply.toString()));
  else
    report.fail(kMail, where + QStringLiteral(": ") + reply.toString(), smtpFix(reply, hintContextOf(settings)));
  checkRunningWait(folder, settings, loggedIn, report);
}

// Graph has no way to try a sender without sending: the token is what can
// be checked; test-mail sends one message.
// Graph's login is its token.
void checkGraph(const AppFolder& folder, const Settings& settings, CheckReport& report, const StopCheck& stop) {
  if (const QString problem = graphServerProblem(settings.sysSMTPServer); !problem.isEmpty()) {
    report.fail(kMail, problem, QStringLiteral("write graph: or graph:https://HOST in sysSMTPServer"));
    return;
  }
  const bool loggedIn = checkOAuth(folder, settings, report, stop) != nullptr;
  if (!loggedIn)
    report.skip(kMail, QStringLiteral("needs an OAuth token"));
  else
    report.pass(kMail, QStringLiteral("Microsoft Graph %1/v1.0/users/%2/sendMail; nothing sent (test-mail sends one)")
                           .arg(graphBase(settings.sysSMTPServer), settings.sysSMTPFrom));
  checkRunningWait(folder, settings, loggedIn, report);
}

void checkMail(const AppFolder& folder, const std::optional<ParameterValues>& values, CheckReport& report,
               const StopCheck& stop) {
  if (!values || !mailParametersValid(folder, *values)) {
    report.skip(kMail, QStringLiteral("needs readable and valid sysSMTP parameters"));
    return;
  }
  const QString server = valueOf(*values, QStringLiteral("sysSMTPServer"));
  const QString pickupPrefix = QString::fromLatin1(kPickupPrefix);
  if (!server.startsWith(pickupPrefix)) {
    const std::optional<Settings> settings = mailSettingsOf(folder, *values, report);
    if (settings && isGraphServer(server)) checkGraph(folder, *settings, report, stop);
    if (settings && !isGraphServer(server)) checkSmtp(folder, *settings, report, stop);
    return;
  }
  const QString pickup = folder.path(server.mid(pickupPrefix.size()));
  const QString problem = folderProblem(pickup);
  if (problem.isEmpty())
    report.pass(kMail, QStringLiteral("pickup folder %1 writable").arg(QDir::toNativeSeparators(pickup)));
  else
    report.fail(kMail, QStringLiteral("pickup folder ") + problem,
                QStringLiteral("create the folder and let the program's user write there, or name an SMTP host in "
                               "sysSMTPServer"));
}

}  // namespace

bool checkSetup(const AppFolder& folder, QTextStream& out, const StopCheck& stop) {
  CheckReport report(out);
  const std::optional<ParameterValues> values = checkDatabaseOf(folder, checkIni(folder, report), report);
  checkFolders(folder, report);
  checkLayouts(folder, report);
  checkMail(folder, values, report, stop);
  return report.allPassed();
}

}  // namespace corvex
