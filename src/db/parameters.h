#pragma once

#include "db/database.h"

#include <QString>
#include <QVariant>

namespace corvex {

/// `fallback` when `value` is NULL, else `value`.
QVariant NullToDefault(const QVariant& value, const QVariant& fallback);

/// The value of the row `name` of the table Parametros as text, or an empty
/// text when there is no row or its value is NULL. Opens and closes
/// DbConnection itself, so no caller may hold DbConnection open across it.
/// Raises the database error unchanged and then leaves DbConnection open.
QString GetParameter(Database& database, const QString& name);

}  // namespace corvex
