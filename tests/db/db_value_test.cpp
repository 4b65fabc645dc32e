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

struct DateCase {
  const char* text;
  /// Empty for a text that is no date (13).
  QDateTime date;
};

// Each form the database's text dates come in, and the near misses that
// must not pass for one.
TEST(DbValueTest, DatesFromIsoText) {
  const QDate day(2023, 10, 4);
  const DateCase cases[] = {
      {"2023-10-04 15:07:09", QDateTime(day, QTime(15, 7, 9))},
      {"2023-10-04T15:07:09", QDateTime(day, QTime(15, 7, 9))},
      {"2023-10-04 15:07:09.000", QDateTime(day, QTime(15, 7, 9))},
      {"2023-10-04 15:07:09.123", QDateTime(day, QTime(15, 7, 9, 123))},
      {"2023-10-04T15:07:09.123", QDateTime(day, QTime(15, 7, 9, 123))},
      {"2023-10-04 15:07", QDateTime(day, QTime(15, 7))},
      {"2023-10-04", day.startOfDay()},
      {" 2023-10-04 15:07:09 ", QDateTime(day, QTime(15, 7, 9))},
      {"1900-01-01", QDate(1900, 1, 1).startOfDay()},
      {"9999-12-31 23:59:59", QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59))},
      {"04/10/2023", {}},
      {"2023/10/04", {}},
      {"2023-1-4", {}},
      {"23-10-04", {}},
      {"02023-10-04", {}},
      {"2023-10-04T15:07", {}},
      {"2023-10-04 15", {}},
      {"2023-10-04 5:07:09", {}},
      {"2023-10-04  15:07:09", {}},
      {"2023-10-04 15:07:09.5", {}},
      {"2023-10-04 15:07:09.1234", {}},
      {"2023-10-04 15:07:09Z", {}},
      {"2023-10-04 15:07:09+01:00", {}},
      {"2023-10-04x", {}},
      {"2023-02-30", {}},
      {"0000-01-01", {}},
      {"2023-10-04 24:00:00", {}},
      {"2023-10-04 23:59:60", {}},
      {"2023-10-04 -1:07:09", {}},
      {"\uFF12\uFF10\uFF12\uFF13-10-04", {}},
      {"", {}},
  };
  for (const DateCase& c : cases) {
    const DbValue value(QVariant(QString::fromUtf8(c.text)));
    if (c.date.isValid())
      EXPECT_EQ(value.toDateTime(), c.date) << c.text;
    else
      EXPECT_EQ(errorNumberOf([&] { value.toDateTime(); }), kTypeMismatch) << c.text;
  }
  EXPECT_EQ(errorNumberOf([] { DbValue(QVariant(12)).toDateTime(); }), kTypeMismatch);
}

}  // namespace
}  // namespace corvex
