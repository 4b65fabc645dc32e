#include "text/amount_words.h"

#include "base/error.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>

namespace corvex {
namespace {

constexpr std::array<const char*, 9> kHundreds = {"CIEN",          "DOSCIENTOS",  "TRESCIENTOS",
                                                  "CUATROCIENTOS", "QUINIENTOS",  "SEISCIENTOS",
                                                  "SETECIENTOS",   "OCHOCIENTOS", "NOVECIENTOS"};
constexpr std::array<const char*, 6> kTeens = {"DIEZ", "ONCE", "DOCE", "TRECE", "CATORCE", "QUINCE"};
// DIEZ and VEINTE stay for completeness; tens 1 and 2 are written by prefix rules.
constexpr std::array<const char*, 9> kTens = {"DIEZ",    "VEINTE",  "TREINTA", "CUARENTA", "CINCUENTA",
                                              "SESENTA", "SETENTA", "OCHENTA", "NOVENTA"};
constexpr std::array<const char*, 9> kUnits = {"UN",   "DOS",   "TRES", "CUATRO", "CINCO",
                                               "SEIS", "SIETE", "OCHO", "NUEVE"};

// Every amount at or beyond 2^32 overflows whatever its cents; rejecting it
// before printing keeps the decimal text short.
constexpr double kSurelyTooLarge = 4294967296.0;

template <std::size_t N>
QString entry(const std::array<const char*, N>& table, int k) {
  return k >= 1 && k <= static_cast<int>(N) ? QString::fromLatin1(table[k - 1]) : QString();
}

/// An amount rounded to the cent: its sign and its absolute value in cents.
struct Cents {
  bool negative;
  std::int64_t total;
};

// Half to even: a dropped tail of a 5 and nothing but zeros is a tie.
bool roundsUp(std::string_view dropped, std::int64_t kept) {
  if (dropped.empty() || dropped[0] < '5') return false;
  if (dropped[0] > '5' || dropped.find_first_not_of('0', 1) != std::string_view::npos) return true;
  return kept % 2 != 0;
}

// The binary double nearest to 1234567.891 lies a hair off that decimal, while
// 0.125 is an exact tie. Rounding the shortest text that reads back as the same
// double treats both as the decimals the amount was written with.
Cents roundToCents(double amount) {
  if (!std::isfinite(amount) || std::fabs(amount) >= kSurelyTooLarge) throw Error::overflow();
  // The shortest fixed text of the smallest subnormal needs about 330 characters.
  std::array<char, 512> buffer{};
  const auto printed = std::to_chars(buffer.data(), buffer.data() + buffer.size(), amount, std::chars_format::fixed);
  std::string_view text(buffer.data(), printed.ptr - buffer.data());
  const bool negative = text.front() == '-';
  if (negative) text.remove_prefix(1);
  const std::size_t point = std::min(text.find('.'), text.size());
  const std::string_view fraction = point < text.size() ? text.substr(point + 1) : std::string_view();
  std::int64_t total = 0;
  std::from_chars(text.data(), text.data() + point, total);
  for (std::size_t i = 0; i < 2; ++i) total = total * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
  if (roundsUp(fraction.size() > 2 ? fraction.substr(2) : std::string_view(), total)) ++total;
  return {negative, total};
}

/// The floor of the rounded amount, as the 32-bit whole part.
int wholePart(const Cents& amount) {
  const std::int64_t units = amount.total / 100;
  const std::int64_t whole = amount.negative ? -units - (amount.total % 100 != 0 ? 1 : 0) : units;
  if (whole > std::numeric_limits<std::int32_t>::max() || whole < std::numeric_limits<std::int32_t>::min()) {
    throw Error::overflow();
  }
  return static_cast<int>(whole);
}

/// n from 0 to 999,999, its thousands always counted: "UN MIL CIEN".
QString thousandsToWords(int n) {
  const int hi = n / 1000;
  const int lo = n % 1000;
  QString words;
  if (hi > 0) words = GroupToWords(hi) + QLatin1String(" MIL");
  if (hi > 0 && lo > 0) words += QLatin1Char(' ');
  return words + GroupToWords(lo);
}

QString wholeToWords(int n) {
  if (n <= 0) return QStringLiteral("CERO");
  const int millions = n / 1000000;
  QString words;
  // The number word agrees with the last three digits of the count only, and
  // the blank after it stays even when nothing follows (the printed form has
  // always read "UN MILLON  CON").
  if (millions > 0) {
    words = thousandsToWords(millions) + QLatin1String(millions % 1000 > 1 ? " MILLONES " : " MILLON ");
  }
  return words + thousandsToWords(n % 1000000);
}

}  // namespace

QString AmountToWords(double amount) {
  const Cents rounded = roundToCents(amount);
  const int whole = wholePart(rounded);
  const int cents = static_cast<int>(rounded.total % 100);
  return wholeToWords(whole) + QLatin1String(" CON ") + QStringLiteral("%1").arg(cents, 2, 10, QLatin1Char('0')) +
         QLatin1String("/100");
}

QString GroupToWords(int n) {
  if (n < 0 || n > 999) return {};
  const int h = n / 100;
  const int r = n % 100;
  QString words = HundredsWord(h);
  if (h == 1 && r > 0) words += QLatin1String("TO");
  if (h > 0 && r > 0) words += QLatin1Char(' ');
  if (r >= 10 && r <= 15) return words + TeensWord(r);
  return words + TensAndUnitsWords(r / 10, r % 10);
}

QString HundredsWord(int h) { return entry(kHundreds, h); }

QString TeensWord(int r) { return r < 10 ? QString() : entry(kTeens, r - 9); }

QString TensAndUnitsWords(int d, int u) { return TensWord(d, u) + UnitsWord(u); }

QString TensWord(int d, int u) {
  if (d < 1 || d > 9 || u < 0 || u > 9) return {};
  if (d == 1) return QStringLiteral("DIECI");
  if (d == 2) return u > 0 ? QStringLiteral("VEINTI") : QStringLiteral("VEINTE");
  return entry(kTens, d) + QLatin1String(u > 0 ? " Y " : "");
}

QString UnitsWord(int u) { return entry(kUnits, u); }

}  // namespace corvex
