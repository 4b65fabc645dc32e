#pragma once

#include <QStringList>
#include <QVariant>

#include <vector>

namespace corvex {

/// The rows a report prints: column names and one value per column in every
/// row, in the row order of the query. A NULL is a null QVariant.
struct DataRows {
  QStringList columns;
  std::vector<std::vector<QVariant>> rows;

  /// The index of `column`, matched without regard to case, or -1.
  int columnIndex(const QString& column) const;
  /// The value of column `index` in row `row`; a NULL when the row is short.
  QVariant value(std::size_t row, int index) const;
};

}  // namespace corvex
