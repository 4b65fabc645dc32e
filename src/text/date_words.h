#pragma once

#include <QDate>
#include <QString>

namespace corvex {

/// A date in Spanish words, mixed case, as the Credito Fiscal layout prints it
/// once upper-cased: 4 October 2023 gives "Miercoles, 4 de Octubre de 2023".
/// The week always starts on Sunday and the names never depend on the
/// system's language. An invalid date gives an empty text.
QString DateToWords(const QDate& date);

/// The name of month 1 to 12, in Spanish ("Enero") when `spanish` is true, in
/// English ("January") otherwise; an empty text for any other number. Names
/// carry no accents and no surrounding blanks.
QString GetMonthName(int month, bool spanish);

/// The name of weekday 1 to 7 counted from Sunday = 1 ("Domingo"/"Sunday"),
/// whatever day the system starts its week with; an empty text for any other
/// number. Spanish names carry no accents ("Miercoles", "Sabado").
QString GetWeekdayName(int weekday, bool spanish);

}  // namespace corvex
