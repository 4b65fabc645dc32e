#include "db/parameters.h"

#include "db/db_value.h"

namespace corvex {

QVariant NullToDefault(const QVariant& value, const QVariant& fallback) {
  return DbValue(value).isNull() ? fallback : value;
}

QString GetParameter(Database& database, const QString& name) {
  // Only the program's own fixed key names come here, so the name goes
  // between the quotes as it stands.
  const QString statement = QStringLiteral("Select Valor From Parametros Where Parametro='") + name + QLatin1Char('\'');
  database.OpenConnection(QString(), 0);
  std::unique_ptr<RecordSet> records = database.DbConnection().execute(statement);
  QString value;
  if (!records->eof()) {
    value = DbValue(NullToDefault(records->field(QStringLiteral("Valor")).variant(), QString())).toTextOrEmpty();
    records->close();
  }
  database.CloseConnection();
  return value;
}

}  // namespace corvex
