#include "render/data_rows.h"

namespace corvex {

int DataRows::columnIndex(const QString& column) const {
  for (qsizetype i = 0; i < columns.size(); ++i) {
    if (columns.at(i).compare(column, Qt::CaseInsensitive) == 0) return int(i);
  }
  return -1;
}

QVariant DataRows::value(std::size_t row, int index) const {
  if (row >= rows.size() || index < 0 || std::size_t(index) >= rows[row].size()) return QVariant();
  return rows[row][std::size_t(index)];
}

const DataRows& ReportData::list(const QString& name) const {
  static const DataRows kNone;
  const auto found = lists.constFind(name);
  return found == lists.constEnd() ? kNone : *found;
}

}  // namespace corvex
