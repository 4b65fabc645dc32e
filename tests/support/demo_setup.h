#pragma once

#include "support/temp_app_dir.h"

#include <QString>
#include <QStringList>

namespace corvex::test {

/// The folders a run of the demo set-up writes into, the pickup folder
/// "outbox" that its parameters name among them.
QStringList demoRunFolders();

/// An Application folder that starts up and passes every check: main.ini
/// naming sqlite:ventas.db, and that database built from the demo data with
/// its pending documents, then shaped by the SQL script `sql`.
void writeDemoSetUp(const TempAppDir& dir, const QString& sql = QString());

}  // namespace corvex::test
