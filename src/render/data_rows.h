#pragma once

#include <QHash>
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

/// What a flowing layout prints: the document's own values as one row, and
/// the rows of each list its sections repeat over, by list name.
struct ReportData {
  DataRows document;
  QHash<QString, DataRows> lists;

  /// The rows of `list` (names match exactly); none for a list not given.
  const DataRows& list(const QString& name) const;
};

}  // namespace corvex
