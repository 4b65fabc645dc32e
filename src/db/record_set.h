#pragma once

#include "db/db_value.h"
#include "db/row_store.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <vector>

namespace corvex {

/// The rows of one query, held on the client side: reading them never
/// touches the connection again, so further statements may run on the same
/// connection (or another) while the record set is read forward.
class RecordSet {
 public:
  RecordSet(QStringList columns, RowStore rows);

  /// True when there is no current row (also for a query without rows).
  bool eof() const;
  /// The current row's value of `column`, matched without regard to case.
  /// Raises 3265 for an unknown column and 3021 at end of data.
  DbValue field(const QString& column) const;
  void moveNext();
  void close();

  const QStringList& columns() const { return m_columns; }
  std::size_t rowCount() const { return m_rows.size(); }

 private:
  QStringList m_columns;
  RowStore m_rows;
  std::size_t m_current = 0;
  /// The values of row m_current, once read.
  RowStore::Row m_row;
  bool m_open = true;
};

}  // namespace corvex
