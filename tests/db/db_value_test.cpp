#include "db/db_value.h"

#include "base/error.h"
#include "support/expected_error.h"

#include <gtest/gtest.h>

namespace corvex {
namespace {

using test::errorNumberOf;

struct TextCase {
  QVariant value;
  QString text;
};

TEST(DbValueTest, TextForms) {
  const TextCase cases[] = {
      {QVariant(QStringLiteral("Peña")), QStringLiteral("Peña")},
      {QVariant(587), QStringLiteral("587")},
      {QVariant(qlonglong(-7)), QStringLiteral("-7")},
      {QVariant(1500.0), QStringLiteral("1500")},
      {QVariant(25.5), QStringLiteral("25.5")},
      {QVariant(0.1 + 0.2), QStringLiteral("0.3")},
      {QVariant(QDateTime(QDate(2023, 10, 4), QTime(15, 7, 9))), QStringLiteral("2023-10-04 15:07:09")},
      {QVariant(QDate(2023, 10, 4)), QStringLiteral("2023-10-04")},
      {QVariant(QByteArray("bytes")), QStringLiteral("bytes")},
  };
  for (const auto& c : cases) EXPECT_EQ(DbValue(c.value).toText(), c.text) << c.value.typeName();
}

TEST(DbValueTest, NullRaisesInvalidUseOfNullWhereAValueIsRequired) {
  for (const QVariant& null :
       {QVariant(), QVariant(QMetaType::fromType<QString>()), QVariant(QMetaType::fromType<int>())}) {
    const DbValue value(null);
    EXPECT_TRUE(value.isNull());
    EXPECT_EQ(value.toTextOrEmpty(), QString());
    EXPECT_EQ(errorNumberOf([&] { value.toText(); }), kInvalidUseOfNull);
    EXPECT_EQ(errorNumberOf([&] { value.toNumber(); }), kInvalidUseOfNull);
    EXPECT_EQ(errorNumberOf([&] { value.toDateTime(); }), kInvalidUseOfNull);
    EXPECT_EQ(errorNumberOf([&] { value.toBytes(); }), kInvalidUseOfNull);
  }
}

TEST(DbValueTest, NumbersFromNumbersAndText) {
  EXPECT_EQ(DbValue(QVariant(QStringLiteral(" 125.50 "))).toNumber(), 125.5);
  EXPECT_EQ(DbValue(QVariant(QStringLiteral("-7"))).toInt32(), -7);
  EXPECT_EQ(DbValue(QVariant(2.5)).toInt32(), 2);
  EXPECT_EQ(errorNumberOf([] { DbValue(QVariant(QStringLiteral("abc"))).toNumber(); }), kTypeMismatch);
  EXPECT_EQ(errorNumberOf([] { DbValue(QVariant(3e9)).toInt32(); }), kOverflow);
}

TEST(DbValueTest, DatesFromIsoText) {
  const QDateTime expected(QDate(2023, 10, 4), QTime(15, 7, 9));
  EXPECT_EQ(DbValue(QVariant(QStringLiteral("2023-10-04 15:07:09"))).toDateTime(), expected);
  EXPECT_EQ(DbValue(QVariant(QStringLiteral("2023-10-04T15:07:09"))).toDateTime(), expected);
  EXPECT_EQ(DbValue(QVariant(QStringLiteral("2023-10-04 15:07:09.000"))).toDateTime(), expected);
  EXPECT_EQ(DbValue(QVariant(QStringLiteral("2023-10-04"))).toDateTime(), QDate(2023, 10, 4).startOfDay());
  EXPECT_EQ(errorNumberOf([] { DbValue(QVariant(QStringLiteral("04/10/2023"))).toDateTime(); }), kTypeMismatch);
  EXPECT_EQ(errorNumberOf([] { DbValue(QVariant(12)).toDateTime(); }), kTypeMismatch);
}

}  // namespace
}  // namespace corvex
