#pragma once

#include <QString>

#include <cstdint>

namespace corvex {

/// The number a text spells, with blanks around it allowed ("587", " 25.5 ",
/// "-7", "1e3"). Decimal point only, no grouping, whatever the locale.
/// Raises 13 (type mismatch) for empty or non-numeric text.
double textToNumber(const QString& text);

/// Rounds to the nearest whole number, an exact half to the even neighbour.
/// Raise 6 (overflow) outside the type's range, and for NaN or infinity.
std::int32_t toInt32(double value);
std::int16_t toInt16(double value);

}  // namespace corvex
