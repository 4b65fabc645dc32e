#include "ops/database_check.h"

#include "base/error.h"
#include "db/connection_string.h"
#include "db/sql_text.h"
#include "startup/logo.h"

#include <QDir>
#include <QFileInfo>

namespace corvex {

namespace {

const QStringList kViewColumns = {
    QStringLiteral("IdDocumento"), QStringLiteral("SelloRecibido"), QStringLiteral("JSonDTE"),
    QStringLiteral("JSonFirmado"), QStringLiteral("Formato"),       QStringLiteral("Serie"),
    QStringLiteral("Numero"),      QStringLiteral("eMail"),         QStringLiteral("tNombre"),
    QStringLiteral("NomCorp"),     QStringLiteral("Fecha")};

QString errorText(const Error& error) {
  return QStringLiteral("error %1: %2").arg(error.number()).arg(error.description());
}

QStringList missingColumns(const QStringList& columns) {
  QStringList missing;
  for (const QString& column : kViewColumns) {
    if (!columns.contains(column, Qt::CaseInsensitive)) missing << column;
  }
  return missing;
}

class DatabaseCheck {
 public:
  DatabaseCheck(const DbEnvironment& environment, CheckReport& report, bool passwordLogin)
      : m_folder(environment.folder), m_connection(environment), m_report(report), m_passwordLogin(passwordLogin) {}

  bool login(const ConnectionString& connectionString);
  void objects();
  void rights(const ConnectionString& connectionString, RenderSource source);
  ParameterValues parameters();
  void logo();

 private:
  void view();
  void tables();
  void reportParameter(const QString& name, const ParameterValues& values);
  std::unique_ptr<RecordSet> select(const QString& check, const QString& statement, const QString& fix);
  void sqlServerRight(const QString& object, const QString& right, const QString& check);
  void sqliteRights(const QString& file);
  void storedProcedure();

  AppFolder m_folder;
  Connection m_connection;
  CheckReport& m_report;
  bool m_passwordLogin;
};

bool DatabaseCheck::login(const ConnectionString& connectionString) {
  const QString where =
      connectionString.isSqlite()
          ? QStringLiteral("sqlite:") + QDir::toNativeSeparators(connectionString.sqlitePath(m_folder))
      : connectionString.isIntegrated()
          ? QStringLiteral("SQL Server through ODBC, with the identity of the program's user (integrated)")
          : QStringLiteral("SQL Server through ODBC, login ") + connectionString.userId();
  // Trapped here: a refused login is this check's verdict.
  try {
    m_connection.open(connectionString);
    m_report.pass(QStringLiteral("database login"), where);
    return true;
  } catch (const Error& error) {
    m_report.fail(QStringLiteral("database login"), where + QStringLiteral(": ") + errorText(error),
                  QStringLiteral("check cString (and Driver) under [DB] in main.ini, that the server is up and "
                                 "reachable on its TCP port, and that it accepts the program's login (User and "
                                 "Password under [DB]; with Authentication=integrated, the program's user needs "
                                 "a Windows or Kerberos login there); for sqlite:PATH, that the file exists"));
    return false;
  }
}

std::unique_ptr<RecordSet> DatabaseCheck::select(const QString& check, const QString& statement, const QString& fix) {
  // Trapped here: a missing object or right is this check's verdict.
  try {
    return m_connection.execute(statement);
  } catch (const Error& error) {
    m_report.fail(check, errorText(error), fix);
    return nullptr;
  }
}

void DatabaseCheck::objects() {
  view();
  tables();
}

void DatabaseCheck::view() {
  const QString view = QStringLiteral("view vwDTECorvex");
  const QString fix = QStringLiteral("create the view, or GRANT SELECT ON vwDTECorvex to the login");
  if (const auto rows = select(view, QStringLiteral("SELECT * FROM vwDTECorvex WHERE 1=0"), fix)) {
    const QStringList missing = missingColumns(rows->columns());
    if (!missing.isEmpty())
      m_report.fail(view, QStringLiteral("lacks the columns ") + missing.join(QStringLiteral(", ")),
                    QStringLiteral("add them to the view: the run reads every one of them"));
    else if (const auto count = select(view, QStringLiteral("SELECT COUNT(*) AS Pending FROM vwDTECorvex"), fix))
      m_report.pass(view, QStringLiteral("readable, %1 documents pending")
                              .arg(count->field(QStringLiteral("Pending")).toTextOrEmpty()));
  }
}

void DatabaseCheck::tables() {
  const struct {
    const char* check;
    const char* statement;
  } tables[] = {
      {"table Parametros", "SELECT Parametro, Valor FROM Parametros WHERE 1=0"},
      {"table SYSDATA", "SELECT LOGO FROM SYSDATA WHERE 1=0"},
      {"table FACTURAS_ENC", "SELECT SERIE, NUMERO, ENVIADA FROM FACTURAS_ENC WHERE 1=0"},
  };
  for (const auto& table : tables) {
    const QString check = QString::fromLatin1(table.check);
    if (select(check, QString::fromLatin1(table.statement),
               QStringLiteral("create it with those columns, or GRANT SELECT on it to the login")))
      m_report.pass(check, QStringLiteral("readable"));
  }
}

void DatabaseCheck::rights(const ConnectionString& connectionString, RenderSource source) {
  if (connectionString.isSqlite()) {
    sqliteRights(connectionString.sqlitePath(m_folder));
  } else {
    sqlServerRight(QStringLiteral("FACTURAS_ENC"), QStringLiteral("UPDATE"), QStringLiteral("marking documents"));
  }
  // Every document prints from its own JSON: the procedure may be missing.
  if (source == RenderSource::Json) {
    m_report.pass(QStringLiteral("procedure tovGetFESalvador"), QStringLiteral("not needed: [Render] Source=json"));
  } else if (connectionString.isSqlite()) {
    storedProcedure();
  } else {
    sqlServerRight(QStringLiteral("tovGetFESalvador"), QStringLiteral("EXECUTE"),
                   QStringLiteral("procedure tovGetFESalvador"));
  }
}

// HAS_PERMS_BY_NAME answers 1 or 0 for an object the login can see, NULL for
// one it cannot see or that does not exist, and asks for nothing to change.
void DatabaseCheck::sqlServerRight(const QString& object, const QString& right, const QString& check) {
  const auto rows = select(check,
                           QStringLiteral("SELECT HAS_PERMS_BY_NAME(%1, 'OBJECT', %2) AS Allowed")
                               .arg(sqlTextLiteral(object), sqlTextLiteral(right)),
                           QStringLiteral("use SQL Server 2005 or later"));
  if (!rows) return;
  const QString allowed = rows->field(QStringLiteral("Allowed")).toTextOrEmpty();
  if (allowed == QStringLiteral("1"))
    m_report.pass(check, QStringLiteral("%1 on %2 granted").arg(right, object));
  else
    m_report.fail(check,
                  allowed.isEmpty() ? QStringLiteral("%1 does not exist or is not visible to the login").arg(object)
                                    : QStringLiteral("%1 on %2 is not granted").arg(right, object),
                  QStringLiteral("GRANT %1 ON %2 TO the program's login").arg(right, object));
}

void DatabaseCheck::sqliteRights(const QString& file) {
  const QFileInfo info(file);
  const QFileInfo folder(info.absolutePath());
  if (info.isWritable() && folder.isWritable())
    m_report.pass(QStringLiteral("marking documents"), QStringLiteral("the database file and its folder are writable"));
  else
    m_report.fail(QStringLiteral("marking documents"),
                  QStringLiteral("%1 or its folder is not writable").arg(QDir::toNativeSeparators(file)),
                  QStringLiteral("give the program's user write access to both (SQLite writes a journal beside "
                                 "the file)"));
}

void DatabaseCheck::storedProcedure() {
  const QString check = QStringLiteral("procedure tovGetFESalvador");
  const auto rows =
      select(check, QStringLiteral("SELECT COUNT(*) AS Stored FROM procedures WHERE name = 'tovGetFESalvador'"),
             QStringLiteral("create the table procedures(name TEXT PRIMARY KEY, body TEXT)"));
  if (!rows) return;
  if (rows->field(QStringLiteral("Stored")).toTextOrEmpty() == QStringLiteral("1"))
    m_report.pass(check, QStringLiteral("stored in the table procedures"));
  else
    m_report.fail(check, QStringLiteral("not stored in the table procedures"),
                  QStringLiteral("add its SELECT as the row named tovGetFESalvador"));
}

ParameterValues DatabaseCheck::parameters() {
  ParameterValues values;
  for (const QString& name : checkedParameters()) {
    const auto rows = select(QStringLiteral("parameter ") + name,
                             QStringLiteral("Select Valor From Parametros Where Parametro=") + sqlTextLiteral(name),
                             QStringLiteral("make the table Parametros readable"));
    if (rows)
      values[name] = rows->eof() ? std::nullopt : std::optional(rows->field(QStringLiteral("Valor")).toTextOrEmpty());
  }
  // Judged once all are read: the port's verdict depends on the server.
  for (const QString& name : checkedParameters()) {
    if (values.contains(name)) reportParameter(name, values);
  }
  return values;
}

void DatabaseCheck::reportParameter(const QString& name, const ParameterValues& values) {
  const ParameterVerdict verdict = judgeParameter(name, values, m_passwordLogin);
  const QString check = QStringLiteral("parameter ") + name;
  if (verdict.problem.isEmpty())
    m_report.pass(check, shownValue(name, values.at(name).value_or(QString())));
  else
    m_report.fail(check, verdict.problem, verdict.fix);
}

void DatabaseCheck::logo() {
  const QString check = QStringLiteral("logo");
  const auto rows = select(check, QStringLiteral("SELECT LOGO FROM SYSDATA"), QStringLiteral("make SYSDATA readable"));
  if (!rows) return;
  // Trapped here: a picture that cannot be read is this check's verdict.
  try {
    const QImage logo = rows->eof() ? QImage() : decodeLogo(rows->field(QStringLiteral("LOGO")));
    if (logo.isNull())
      m_report.pass(check, QStringLiteral("none (the window and the PDFs show no logo)"));
    else
      m_report.pass(check, QStringLiteral("%1 x %2 pixels").arg(logo.width()).arg(logo.height()));
  } catch (const Error& error) {
    m_report.fail(check, errorText(error),
                  QStringLiteral("store a PNG, JPEG, BMP or GIF file's bytes in SYSDATA.LOGO"));
  }
}

}  // namespace

std::optional<ParameterValues> checkDatabase(const ConnectionString& connectionString, const DbEnvironment& environment,
                                             RenderSource source, CheckReport& report, bool passwordLogin) {
  DatabaseCheck check(environment, report, passwordLogin);
  if (!check.login(connectionString)) return std::nullopt;
  check.objects();
  check.rights(connectionString, source);
  ParameterValues values = check.parameters();
  check.logo();
  return values;
}

}  // namespace corvex
