#pragma once

// What the operator's commands that run beside the program (resend, status,
// history) share: main.ini's database, a document's key, how an error is told.

#include "base/app_folder.h"
#include "base/error.h"
#include "db/connection.h"

#include <QString>
#include <QTextStream>

#include <optional>

namespace corvex {

/// The database that main.ini names, for a command beside the running
/// program (resend, status, history): its connection string, login and
/// driver from main.ini, as start-up builds them. Raises what main.ini and
/// the login raise.
void openCommandDatabase(Connection& database, const AppFolder& folder);

/// A connection made with main.ini's driver and time-outs, not yet open.
Connection commandConnection(const AppFolder& folder);

/// openCommandDatabase(), for a command whose failure to log in is its exit
/// status 2: false, with the error told on `err`, when it cannot.
bool openedForCommand(Connection& database, const AppFolder& folder, QTextStream& err);

/// The series as FACTURAS_ENC spells it (SQL Server may match another
/// case), or nothing when it holds no such document. Raises the database's
/// errors.
std::optional<QString> storedSerie(Connection& database, const QString& serie, qint32 numero);

/// "SERIE-NUMERO".
QString documentKey(const QString& serie, qint32 numero);

/// "corvex: error N: description", for standard error.
QString commandErrorText(const Error& error);

}  // namespace corvex
