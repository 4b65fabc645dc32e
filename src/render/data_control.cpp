#include "render/data_control.h"

namespace corvex {

DataRows readDataRows(RecordSet& records) {
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

}  // namespace corvex
