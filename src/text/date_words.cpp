#include "text/date_words.h"

#include <array>

namespace corvex {
namespace {

struct Name {
  const char* spanish;
  const char* english;
};

constexpr std::array<Name, 12> kMonths = {{{"Enero", "January"},
                                           {"Febrero", "February"},
                                           {"Marzo", "March"},
                                           {"Abril", "April"},
                                           {"Mayo", "May"},
                                           {"Junio", "June"},
                                           {"Julio", "July"},
                                           {"Agosto", "August"},
                                           {"Septiembre", "September"},
                                           {"Octubre", "October"},
                                           {"Noviembre", "November"},
                                           {"Diciembre", "December"}}};

constexpr std::array<Name, 7> kWeekdays = {{{"Domingo", "Sunday"},
                                            {"Lunes", "Monday"},
                                            {"Martes", "Tuesday"},
                                            {"Miercoles", "Wednesday"},
                                            {"Jueves", "Thursday"},
                                            {"Viernes", "Friday"},
                                            {"Sabado", "Saturday"}}};

template <std::size_t N>
QString nameOf(const std::array<Name, N>& table, int number, bool spanish) {
  if (number < 1 || number > static_cast<int>(N)) return {};
  const Name& name = table[number - 1];
  return QString::fromLatin1(spanish ? name.spanish : name.english);
}

}  // namespace

QString DateToWords(const QDate& date) {
  if (!date.isValid()) return {};
  // QDate counts Monday = 1 to Sunday = 7; the names count from Sunday.
  const int weekday = date.dayOfWeek() % 7 + 1;
  return GetWeekdayName(weekday, true) + QLatin1String(", ") + QString::number(date.day()) + QLatin1String(" de ") +
         GetMonthName(date.month(), true) + QLatin1String(" de ") + QString::number(date.year());
}

QString GetMonthName(int month, bool spanish) { return nameOf(kMonths, month, spanish); }

QString GetWeekdayName(int weekday, bool spanish) { return nameOf(kWeekdays, weekday, spanish); }

}  // namespace corvex
