#include "render/value_format.h"

#include "base/error.h"
#include "db/db_value.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <optional>

namespace corvex {

namespace {

const QRegularExpression& numberPattern() {
  static const QRegularExpression pattern(QStringLiteral("^[#,]*0+(\\.0+)?$"));
  return pattern;
}

bool isNumberFormat(const QString& format) { return numberPattern().match(format).hasMatch(); }

// A value that cannot be read as asked prints as text instead.
std::optional<double> toNumber(const QVariant& value) {
  try {
    return DbValue(value).toNumber();
  } catch (const Error&) {
    return std::nullopt;
  }
}

std::optional<QDateTime> toDateTime(const QVariant& value) {
  try {
    return DbValue(value).toDateTime();
  } catch (const Error&) {
    return std::nullopt;
  }
}

// |value| rounded half away from zero to `decimals` places, as the digits
// before and after the point. Works on the 15 significant digits a runtime
// shows, so binary noise (2.675 is stored as 2.67499...) does not round down.
struct Rounded {
  QString integer;
  QString fraction;
};

// Adds one unit in the last place of `digits`. When every digit carries, or
// there is none (0.7 to no decimals), a new leading 1 moves the point right.
void carryOne(QString& digits, int& pointAt) {
  for (qsizetype i = digits.size() - 1; i >= 0; --i) {
    if (digits.at(i) != QLatin1Char('9')) {
      digits[i] = QChar(digits.at(i).unicode() + 1);
      return;
    }
    digits[i] = QLatin1Char('0');
  }
  digits.prepend(QLatin1Char('1'));
  ++pointAt;
}

Rounded roundDecimal(double magnitude, int decimals) {
  const QString scientific = QString::number(magnitude, 'e', 14);
  QString digits = scientific.left(1) + scientific.mid(2, 14);
  int pointAt = scientific.mid(scientific.indexOf(QLatin1Char('e')) + 1).toInt() + 1;
  if (pointAt < 0) {
    digits.prepend(QString(-pointAt, QLatin1Char('0')));
    pointAt = 0;
  }
  if (digits.size() < pointAt) digits = digits.leftJustified(pointAt, QLatin1Char('0'));
  const int keep = pointAt + decimals;
  if (digits.size() <= keep) return {digits.left(pointAt), digits.mid(pointAt).leftJustified(decimals, '0')};
  const bool roundUp = digits.at(keep) >= QLatin1Char('5');
  digits.truncate(keep);
  if (roundUp) carryOne(digits, pointAt);
  return {digits.left(pointAt), digits.mid(pointAt)};
}

QString grouped(const QString& integer) {
  QString result;
  for (qsizetype i = 0; i < integer.size(); ++i) {
    if (i > 0 && (integer.size() - i) % 3 == 0) result += QLatin1Char(',');
    result += integer.at(i);
  }
  return result;
}

QString formatNumber(double number, const QString& format) {
  if (!std::isfinite(number)) return QString::number(number);
  const qsizetype point = format.indexOf(QLatin1Char('.'));
  const int decimals = point < 0 ? 0 : int(format.size() - point - 1);
  const int minimumDigits = int(format.left(point < 0 ? format.size() : point).count(QLatin1Char('0')));
  Rounded rounded = roundDecimal(std::fabs(number), decimals);
  QString integer = rounded.integer;
  while (integer.size() > 1 && integer.startsWith(QLatin1Char('0'))) integer.remove(0, 1);
  integer = integer.rightJustified(minimumDigits, QLatin1Char('0'));
  if (format.contains(QLatin1Char(','))) integer = grouped(integer);
  const auto nonZero = [](QChar digit) { return digit != QLatin1Char('0'); };
  const bool isZero = std::none_of(rounded.integer.begin(), rounded.integer.end(), nonZero) &&
                      std::none_of(rounded.fraction.begin(), rounded.fraction.end(), nonZero);
  const QString sign = number < 0 && !isZero ? QStringLiteral("-") : QString();
  return sign + integer + (decimals > 0 ? QLatin1Char('.') + rounded.fraction : QString());
}

// The format cut into runs of one date letter, "AM/PM" and literal text.
QStringList dateTokens(const QString& format) {
  static const QString letters = QStringLiteral("dMyhHms");
  QStringList tokens;
  for (qsizetype i = 0; i < format.size();) {
    if (format.mid(i, 5) == QLatin1String("AM/PM")) {
      tokens << format.mid(i, 5);
      i += 5;
      continue;
    }
    qsizetype end = i + 1;
    if (letters.contains(format.at(i))) {
      while (end < format.size() && format.at(end) == format.at(i)) ++end;
    }
    tokens << format.mid(i, end - i);
    i = end;
  }
  return tokens;
}

QString twoDigits(int number) { return QStringLiteral("%1").arg(number, 2, 10, QLatin1Char('0')); }

// The text of one date token, or nothing when the token is not a date part.
std::optional<QString> datePart(const QString& token, const QDateTime& when) {
  const QDate date = when.date();
  const QTime time = when.time();
  const int hour12 = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
  const QLocale english(QLocale::English);
  if (token == QLatin1String("d")) return QString::number(date.day());
  if (token == QLatin1String("dd")) return twoDigits(date.day());
  if (token == QLatin1String("M")) return QString::number(date.month());
  if (token == QLatin1String("MM")) return twoDigits(date.month());
  if (token == QLatin1String("MMM")) return english.monthName(date.month(), QLocale::ShortFormat);
  if (token == QLatin1String("MMMM")) return english.monthName(date.month(), QLocale::LongFormat);
  if (token == QLatin1String("yy")) return twoDigits(date.year() % 100);
  if (token == QLatin1String("yyyy")) return QString::number(date.year());
  if (token == QLatin1String("h")) return QString::number(hour12);
  if (token == QLatin1String("hh")) return twoDigits(hour12);
  if (token == QLatin1String("H")) return QString::number(time.hour());
  if (token == QLatin1String("HH")) return twoDigits(time.hour());
  if (token == QLatin1String("m")) return QString::number(time.minute());
  if (token == QLatin1String("mm")) return twoDigits(time.minute());
  if (token == QLatin1String("s")) return QString::number(time.second());
  if (token == QLatin1String("ss")) return twoDigits(time.second());
  if (token == QLatin1String("AM/PM")) return time.hour() < 12 ? QStringLiteral("AM") : QStringLiteral("PM");
  return std::nullopt;
}

QString formatDate(const QDateTime& when, const QString& format) {
  QString result;
  for (const QString& token : dateTokens(format)) result += datePart(token, when).value_or(token);
  return result;
}

QString plainText(const QVariant& value) {
  if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float) {
    const double number = value.toDouble();
    if (std::trunc(number) == number && std::fabs(number) < 1e15) return QString::number(qint64(number));
    return QString::number(number, 'g', 15);
  }
  if (value.typeId() == QMetaType::QDateTime) {
    const QDateTime when = value.toDateTime();
    return when.toString(when.time() == QTime(0, 0) ? QStringLiteral("yyyy-MM-dd")
                                                    : QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  }
  if (value.typeId() == QMetaType::QDate) return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
  if (value.typeId() == QMetaType::Bool) return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
  return value.toString();
}

}  // namespace

QString formatValue(const QVariant& value, const QString& format) {
  if (value.isNull()) return QString();
  if (format.isEmpty()) return plainText(value);
  if (isNumberFormat(format)) {
    const std::optional<double> number = toNumber(value);
    return number ? formatNumber(*number, format) : plainText(value);
  }
  const std::optional<QDateTime> when = toDateTime(value);
  return when ? formatDate(*when, format) : plainText(value);
}

bool isSupportedFormat(const QString& format) {
  if (format.isEmpty() || isNumberFormat(format)) return true;
  bool hasDatePart = false;
  for (const QString& token : dateTokens(format)) {
    const bool known = datePart(token, QDateTime(QDate(2000, 1, 1), QTime(0, 0))).has_value();
    if (token.at(0).isLetter() && !known) return false;
    hasDatePart = hasDatePart || known;
  }
  return hasDatePart;
}

}  // namespace corvex
