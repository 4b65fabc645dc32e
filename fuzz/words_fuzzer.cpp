// Any amount and any day: the words are never empty, and an amount too large
// is the program's overflow Error.
#include "base/error.h"
#include "text/amount_words.h"
#include "text/date_words.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  double amount = 0;
  qint64 julianDay = 0;
  std::memcpy(&amount, data, std::min(size, sizeof amount));
  if (size > sizeof amount)
    std::memcpy(&julianDay, data + sizeof amount, std::min(size - sizeof amount, sizeof julianDay));
  try {
    if (corvex::AmountToWords(amount).isEmpty()) __builtin_trap();
  } catch (const corvex::Error& error) {
    if (error.number() != corvex::kOverflow) __builtin_trap();
  }
  const QDate day = QDate::fromJulianDay(julianDay);
  if (day.isValid() && corvex::DateToWords(day).isEmpty()) __builtin_trap();
  corvex::GroupToWords(int(julianDay));
  return 0;
}
