#include "db/row_store.h"

#include "db/db_value.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace corvex {
namespace {

// Every kind of value a session reads, NULLs included: what comes back from
// the file is what went in, in order, whatever part stayed in memory.
TEST(RowStoreTest, RowsComeBackAsTheyWentInWhereverTheyAreKept) {
  const std::vector<RowStore::Row> rows = {
      {QVariant(QMetaType(QMetaType::QString)), QString(), QStringLiteral("Ñandú \"firma\" 李 😀")},
      {QVariant(qint64(-9007199254740993)), QVariant(318), QVariant(59.7), QVariant(true)},
      {QVariant(QDateTime(QDate(2024, 3, 4), QTime(8, 42, 10))), QVariant(QDate(2024, 3, 4))},
      {QVariant(QByteArray("a\0b", 3)), QVariant(QMetaType(QMetaType::QByteArray)), QVariant()},
      {QVariant(QString(300000, QChar(u'x')))},
  };
  for (const qsizetype budget : {qsizetype(0), qsizetype(64), RowStore::kMemoryBudget}) {
    SCOPED_TRACE(budget);
    RowStore store(budget);
    for (const RowStore::Row& row : rows) store.append(row);
    ASSERT_EQ(store.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const RowStore::Row back = store.at(i);
      ASSERT_EQ(back.size(), rows[i].size()) << i;
      for (std::size_t j = 0; j < back.size(); ++j) {
        EXPECT_EQ(back[j], rows[i][j]) << i << "," << j;
        EXPECT_EQ(DbValue(back[j]).isNull(), DbValue(rows[i][j]).isNull()) << i << "," << j;
      }
    }
  }
}

}  // namespace
}  // namespace corvex
