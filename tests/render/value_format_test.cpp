#include "render/value_format.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace corvex {
namespace {

struct FormatCase {
  QVariant value;
  const char* format;
  const char* expected;
};

TEST(ValueFormat, Table) {
  const QDateTime afternoon(QDate(2023, 10, 4), QTime(15, 7, 9));
  const FormatCase cases[] = {
      {1234.5, "#,##0.00", "1,234.50"},
      {-1234.5, "#,##0.00", "-1,234.50"},
      {0.0, "#,##0.00", "0.00"},
      {0, "#,##0.00", "0.00"},
      {0.005, "#,##0.00", "0.01"},
      {-0.005, "#,##0.00", "-0.01"},
      {2.675, "#,##0.00", "2.68"},
      {1.005, "#,##0.00", "1.01"},
      {-2.675, "#,##0.00", "-2.68"},
      {-0.004, "#,##0.00", "0.00"},
      {999.995, "#,##0.00", "1,000.00"},
      {9999999.999, "#,##0.00", "10,000,000.00"},
      {123456789012.34, "#,##0.00", "123,456,789,012.34"},
      {1e15, "#,##0.00", "1,000,000,000,000,000.00"},
      {1234.56785, "#,##0.0000", "1,234.5679"},
      {-0.00005, "#,##0.0000", "-0.0001"},
      {7, "#,##0.0000", "7.0000"},
      {qlonglong(1234567), "#,##0.00", "1,234,567.00"},
      {QStringLiteral("1234.5"), "#,##0.00", "1,234.50"},
      {QStringLiteral("n/a"), "#,##0.00", "n/a"},
      {1234.5, "0.00", "1234.50"},
      {1234.5, "#,##0", "1,235"},
      // Regression: a value that rounds up to the first whole unit had no
      // digit to carry into and printed "0".
      {0.5, "0", "1"},
      {0.7, "#,##0", "1"},
      {-0.99, "0", "-1"},
      {0.49, "0", "0"},
      {0.0005, "0.000", "0.001"},
      {afternoon, "dd-MMM-yyyy h:mm AM/PM", "04-Oct-2023 3:07 PM"},
      {QDateTime(QDate(2023, 1, 9), QTime(0, 30)), "dd-MMM-yyyy h:mm AM/PM", "09-Jan-2023 12:30 AM"},
      {QDateTime(QDate(2023, 12, 31), QTime(12, 0)), "dd-MMM-yyyy h:mm AM/PM", "31-Dec-2023 12:00 PM"},
      {QDateTime(QDate(2023, 12, 31), QTime(23, 59, 59)), "dd-MMM-yyyy h:mm AM/PM", "31-Dec-2023 11:59 PM"},
      {QStringLiteral("2023-10-04 15:07:09"), "dd-MMM-yyyy h:mm AM/PM", "04-Oct-2023 3:07 PM"},
      {QStringLiteral("2023-10-04"), "dd-MMM-yyyy h:mm AM/PM", "04-Oct-2023 12:00 AM"},
      {QDate(2024, 2, 29), "dd-MMM-yyyy h:mm AM/PM", "29-Feb-2024 12:00 AM"},
      {afternoon, "yyyy-MM-dd HH:mm:ss", "2023-10-04 15:07:09"},
      {QStringLiteral("pendiente"), "dd-MMM-yyyy h:mm AM/PM", "pendiente"},
      {12.0, "", "12"},
      {-3.0, "", "-3"},
      {12.25, "", "12.25"},
      {0.1 + 0.2, "", "0.3"},
      {qlonglong(-7), "", "-7"},
      {afternoon, "", "2023-10-04 15:07:09"},
      {QDateTime(QDate(2023, 10, 4), QTime(0, 0)), "", "2023-10-04"},
      {QStringLiteral("Código"), "", "Código"},
      {QVariant(), "#,##0.00", ""},
      {QVariant(), "dd-MMM-yyyy h:mm AM/PM", ""},
      {QVariant(QMetaType(QMetaType::Double)), "#,##0.00", ""},
      {QVariant(), "", ""},
  };
  for (const FormatCase& c : cases) {
    EXPECT_EQ(formatValue(c.value, QString::fromUtf8(c.format)), QString::fromUtf8(c.expected))
        << c.value.toString().toStdString() << " as " << c.format;
  }
}

TEST(ValueFormat, SupportedFormats) {
  for (const char* format : {"", "#,##0.00", "#,##0.0000", "0", "dd-MMM-yyyy h:mm AM/PM", "yyyy-MM-dd"}) {
    EXPECT_TRUE(isSupportedFormat(QString::fromUtf8(format))) << format;
  }
  for (const char* format : {"#,##0.00;(#,##0.00)", "Currency", "ddd dd", "0.00%", "hello"}) {
    EXPECT_FALSE(isSupportedFormat(QString::fromUtf8(format))) << format;
  }
}

}  // namespace
}  // namespace corvex
