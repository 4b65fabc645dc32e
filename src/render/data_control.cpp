#include "render/data_control.h"

namespace corvex {

namespace {

DataRows readAll(RecordSet& records) {
  DataRows rows;
  rows.columns = records.columns();
  for (; !records.eof(); records.moveNext()) {
    std::vector<QVariant> row;
    row.reserve(std::size_t(rows.columns.size()));
    for (const QString& column : rows.columns) row.push_back(records.field(column).variant());
    rows.rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace

DataRows DataControl::fetch(const DbEnvironment& environment) const {
  Connection connection(environment);
  connection.setCursorLocation(m_cursorLocation);
  connection.setCommandTimeout(m_commandTimeout);
  connection.setConnectionTimeout(m_connectionTimeout);
  connection.open(m_connectionString);
  const std::unique_ptr<RecordSet> records = connection.execute(m_source);
  DataRows rows = readAll(*records);
  records->close();
  connection.close();
  return rows;
}

}  // namespace corvex
