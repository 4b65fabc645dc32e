#pragma once

#include <QTemporaryFile>
#include <QVariant>

#include <memory>
#include <vector>

namespace corvex {

/// The rows of a result, kept in memory while they are small and in a
/// temporary file beyond that, so that a run over thousands of pending
/// documents, each with its JSON texts, holds about as much memory as a run
/// over a hundred. Rows are added once, in order, then read back by index.
class RowStore {
 public:
  using Row = std::vector<QVariant>;

  /// Bytes of values kept in memory before the rest go to the file.
  static constexpr qsizetype kMemoryBudget = 2 * 1024 * 1024;

  explicit RowStore(qsizetype memoryBudget = kMemoryBudget);
  RowStore(RowStore&&) noexcept;
  RowStore& operator=(RowStore&&) noexcept;
  ~RowStore();

  /// Raises Error(75) when the temporary file cannot be written.
  void append(Row row);
  std::size_t size() const { return m_inMemory.size() + m_offsets.size(); }
  bool empty() const { return size() == 0; }
  /// Raises Error(75) when the temporary file cannot be read back.
  Row at(std::size_t index) const;

 private:
  qsizetype m_budget;
  qsizetype m_used = 0;
  std::vector<Row> m_inMemory;
  std::vector<qint64> m_offsets;
  std::unique_ptr<QTemporaryFile> m_file;
};

}  // namespace corvex
