#include "db/row_store.h"

#include "base/error.h"

#include <QDataStream>

namespace corvex {

namespace {

// Roughly what a value holds on the heap: texts dominate a pending row.
qsizetype weight(const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::QString:
      return 2 * value.toString().size();
    case QMetaType::QByteArray:
      return value.toByteArray().size();
    default:
      return 16;
  }
}

Error spillError(const QFileDevice& file) {
  return Error(
      kPathFileAccessError,
      QStringLiteral("Cannot keep the rows of a large result in a temporary file: %1").arg(file.errorString()));
}

}  // namespace

RowStore::RowStore(qsizetype memoryBudget) : m_budget(memoryBudget) {}
RowStore::RowStore(RowStore&&) noexcept = default;
RowStore& RowStore::operator=(RowStore&&) noexcept = default;
RowStore::~RowStore() = default;

void RowStore::append(Row row) {
  if (!m_file) {
    for (const QVariant& value : row) m_used += weight(value);
    if (m_used <= m_budget) {
      m_inMemory.push_back(std::move(row));
      return;
    }
    m_file = std::make_unique<QTemporaryFile>();
    if (!m_file->open()) throw spillError(*m_file);
  }
  m_offsets.push_back(m_file->size());
  m_file->seek(m_file->size());
  QDataStream out(m_file.get());
  out << qint32(row.size());
  for (const QVariant& value : row) out << value;
  if (out.status() != QDataStream::Ok || !m_file->flush()) throw spillError(*m_file);
}

RowStore::Row RowStore::at(std::size_t index) const {
  if (index < m_inMemory.size()) return m_inMemory[index];
  if (!m_file->seek(m_offsets[index - m_inMemory.size()])) throw spillError(*m_file);
  QDataStream in(m_file.get());
  qint32 count = 0;
  in >> count;
  Row row(std::size_t(std::max(count, 0)));
  for (QVariant& value : row) in >> value;
  if (in.status() != QDataStream::Ok) throw spillError(*m_file);
  return row;
}

}  // namespace corvex
