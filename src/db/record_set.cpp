#include "db/record_set.h"

#include "base/error.h"

namespace corvex {

namespace {

Error closedError() {
  return Error(kObjectClosed, QStringLiteral("Operation is not allowed when the object is closed."));
}

}  // namespace

RecordSet::RecordSet(QStringList columns, RowStore rows) : m_columns(std::move(columns)), m_rows(std::move(rows)) {
  if (!m_rows.empty()) m_row = m_rows.at(0);
}

bool RecordSet::eof() const {
  if (!m_open) throw closedError();
  return m_current >= m_rows.size();
}

DbValue RecordSet::field(const QString& column) const {
  if (eof())
    throw Error(kNoCurrentRecord, QStringLiteral("Either BOF or EOF is True, or the current record has been deleted. "
                                                 "Requested operation requires a current record."));
  for (qsizetype i = 0; i < m_columns.size(); ++i) {
    if (m_columns[i].compare(column, Qt::CaseInsensitive) == 0) return DbValue(m_row[std::size_t(i)]);
  }
  throw Error(kItemNotFound,
              QStringLiteral("Item cannot be found in the collection corresponding to the requested name or ordinal."));
}

void RecordSet::moveNext() {
  if (eof()) return;
  ++m_current;
  m_row = m_current < m_rows.size() ? m_rows.at(m_current) : RowStore::Row();
}

void RecordSet::close() {
  if (!m_open) throw closedError();
  m_open = false;
}

}  // namespace corvex
