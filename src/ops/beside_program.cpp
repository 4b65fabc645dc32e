#include "ops/beside_program.h"

#include "db/sql_text.h"
#include "startup/configuration.h"
#include "startup/ini_file.h"

namespace corvex {

namespace {

QString iniPath(const AppFolder& folder) { return folder.path(QStringLiteral("main.ini")); }

}  // namespace

void openCommandDatabase(Connection& database, const AppFolder& folder) {
  const QString server = ReadIniConnectionString(iniPath(folder));
  database.open(ConnectionString::forServer(server, readDatabaseLogin(iniPath(folder))));
}

Connection commandConnection(const AppFolder& folder) {
  return Connection(databaseEnvironment(folder, iniPath(folder)));
}

// Trapped here: the command's verdicts are exit statuses.
bool openedForCommand(Connection& database, const AppFolder& folder, QTextStream& err) {
  try {
    openCommandDatabase(database, folder);
    return true;
  } catch (const Error& error) {
    err << commandErrorText(error) << Qt::endl;
    return false;
  }
}

std::optional<QString> storedSerie(Connection& database, const QString& serie, qint32 numero) {
  const auto rows = database.execute(QStringLiteral("SELECT SERIE, NUMERO FROM FACTURAS_ENC WHERE SERIE=%1 AND "
                                                    "NUMERO=%2")
                                         .arg(sqlTextLiteral(serie), QString::number(numero)));
  if (rows->eof()) return std::nullopt;
  return rows->field(QStringLiteral("SERIE")).toTextOrEmpty();
}

QString documentKey(const QString& serie, qint32 numero) { return serie + QLatin1Char('-') + QString::number(numero); }

QString commandErrorText(const Error& error) {
  return QStringLiteral("corvex: error %1: %2").arg(error.number()).arg(error.description());
}

}  // namespace corvex
