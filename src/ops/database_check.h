#pragma once

#include "base/settings.h"
#include "db/connection.h"
#include "db/connection_string.h"
#include "ops/check_report.h"
#include "ops/parameter_check.h"

#include <QString>

#include <optional>

namespace corvex {

/// The database part of `corvex check`, run over a connection of its own
/// (the program's two slots and their log lines stay untouched) and with
/// nothing but SELECT statements, so it changes nothing:
///
/// 1. the login;
/// 2. the view vwDTECorvex with every column a run reads, Parametros,
///    SYSDATA and FACTURAS_ENC readable (SELECT ... WHERE 1=0);
/// 3. the right to mark documents and, unless `source` is RenderSource::Json,
///    to run tovGetFESalvador: on SQL Server asked with HAS_PERMS_BY_NAME, on
///    SQLite (no rights) the database file and its folder writable and the
///    procedure stored in `procedures`;
/// 4. every parameter (judgeParameter());
/// 5. the logo decodes.
///
/// Reports one line per check. Returns the parameters read, or std::nullopt
/// when the login failed (the later checks are then skipped).
std::optional<ParameterValues> checkDatabase(const ConnectionString& connectionString, const DbEnvironment& environment,
                                             RenderSource source, CheckReport& report, bool passwordLogin = true);

}  // namespace corvex
