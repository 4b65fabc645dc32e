#include "base/conversions.h"

#include "base/error.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace corvex {

namespace {

template <typename Int>
Int roundToEven(double value) {
  // nearbyint honours the default rounding mode, which is ties-to-even.
  const double rounded = std::nearbyint(value);
  if (!std::isfinite(rounded) || rounded < std::numeric_limits<Int>::min() || rounded > std::numeric_limits<Int>::max())
    throw Error::overflow();
  return static_cast<Int>(rounded);
}

}  // namespace

double textToNumber(const QString& text) {
  bool ok = false;
  const double value = QLocale::c().toDouble(text.trimmed(), &ok);
  if (!ok) throw Error::typeMismatch();
  return value;
}

std::int32_t toInt32(double value) { return roundToEven<std::int32_t>(value); }

std::int16_t toInt16(double value) { return roundToEven<std::int16_t>(value); }

}  // namespace corvex
