#include "text/date_words.h"

#include <gtest/gtest.h>

#include <QLocale>

namespace corvex {
namespace {

struct DateCase {
  QDate date;
  const char* words;
};

void PrintTo(const DateCase& c, std::ostream* os) { *os << c.date.toString(Qt::ISODate).toStdString(); }

class DateToWordsTable : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateToWordsTable, GivesTheExactText) {
  EXPECT_EQ(DateToWords(GetParam().date), QString::fromLatin1(GetParam().words));
}

// One date per weekday and per month, so every Spanish name is checked once,
// together with the leap day and single-digit days.
INSTANTIATE_TEST_SUITE_P(Dates, DateToWordsTable,
                         ::testing::Values(DateCase{QDate(2022, 1, 23), "Domingo, 23 de Enero de 2022"},
                                           DateCase{QDate(2024, 2, 29), "Jueves, 29 de Febrero de 2024"},
                                           DateCase{QDate(2025, 3, 3), "Lunes, 3 de Marzo de 2025"},
                                           DateCase{QDate(2025, 4, 1), "Martes, 1 de Abril de 2025"},
                                           DateCase{QDate(2025, 5, 2), "Viernes, 2 de Mayo de 2025"},
                                           DateCase{QDate(2025, 6, 30), "Lunes, 30 de Junio de 2025"},
                                           DateCase{QDate(2025, 7, 31), "Jueves, 31 de Julio de 2025"},
                                           DateCase{QDate(2025, 8, 16), "Sabado, 16 de Agosto de 2025"},
                                           DateCase{QDate(2025, 9, 6), "Sabado, 6 de Septiembre de 2025"},
                                           DateCase{QDate(2023, 10, 4), "Miercoles, 4 de Octubre de 2023"},
                                           DateCase{QDate(2025, 11, 9), "Domingo, 9 de Noviembre de 2025"},
                                           DateCase{QDate(2026, 12, 7), "Lunes, 7 de Diciembre de 2026"}));

TEST(DateToWords, DoesNotFollowTheSystemLanguageOrFirstDayOfWeek) {
  const QLocale previous;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  const QString words = DateToWords(QDate(2022, 1, 23));
  QLocale::setDefault(previous);
  EXPECT_EQ(words, QStringLiteral("Domingo, 23 de Enero de 2022"));
}

TEST(DateToWords, InvalidDateGivesEmptyText) { EXPECT_EQ(DateToWords(QDate()), QString()); }

TEST(NameTables, EnglishNamesCountFromSundayAndJanuary) {
  const char* weekdays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(GetWeekdayName(i + 1, false), QString::fromLatin1(weekdays[i]));
  const char* months[] = {"January", "February", "March",     "April",   "May",      "June",
                          "July",    "August",   "September", "October", "November", "December"};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(GetMonthName(i + 1, false), QString::fromLatin1(months[i]));
}

TEST(NameTables, NumbersOutsideTheRangeGiveEmptyText) {
  for (bool spanish : {true, false}) {
    for (int month : {-1, 0, 13}) EXPECT_EQ(GetMonthName(month, spanish), QString()) << month;
    for (int weekday : {-1, 0, 8}) EXPECT_EQ(GetWeekdayName(weekday, spanish), QString()) << weekday;
  }
}

}  // namespace
}  // namespace corvex
