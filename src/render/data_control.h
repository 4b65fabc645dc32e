#pragma once

#include "db/connection.h"
#include "render/data_rows.h"

#include <QString>

namespace corvex {

/// Every row of `records` from its current one on, with its columns: the rows
/// a layout prints.
DataRows readDataRows(RecordSet& records);

/// A layout's data source: where its rows come from. Holds a connection
/// string, a query and three numeric settings, all set at run time.
class DataControl {
 public:
  void setConnectionString(const QString& connectionString) { m_connectionString = connectionString; }
  void setSource(const QString& query) { m_source = query; }
  /// The cursor location the connection uses (Connection::kServerSideCursors
  /// or kClientSideCursors).
  void setCursorLocation(int location) { m_cursorLocation = location; }
  /// Seconds; 0 means no limit.
  void setCommandTimeout(int seconds) { m_commandTimeout = seconds; }
  /// Seconds; 0 means no limit.
  void setConnectionTimeout(int seconds) { m_connectionTimeout = seconds; }

  const QString& connectionString() const { return m_connectionString; }
  const QString& source() const { return m_source; }

 private:
  QString m_connectionString;
  QString m_source;
  int m_cursorLocation = Connection::kClientSideCursors;
  int m_commandTimeout = 30;
  int m_connectionTimeout = 15;
};

}  // namespace corvex
