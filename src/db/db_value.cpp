#include "db/db_value.h"

#include "base/clock.h"
#include "base/conversions.h"
#include "base/error.h"

#include <QLocale>

#include <algorithm>
#include <array>
#include <cmath>

namespace corvex {

namespace {

bool isWholeNumberType(const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
      return true;
    default:
      return false;
  }
}

bool isNumberType(const QVariant& value) {
  return isWholeNumberType(value) || value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float;
}

QString numberText(double number) {
  // Fifteen significant digits, as a double's text form conventionally has;
  // whole numbers carry no decimals.
  if (std::floor(number) == number && std::fabs(number) < 1e15) return QString::number(number, 'f', 0);
  return QLocale::c().toString(number, 'g', 15);
}

// The ISO-8601 forms a date is read in ('#' for an ASCII digit): yyyy-MM-dd,
// then HH:mm, HH:mm:ss or THH:mm:ss, the seconds with .zzz or without.
constexpr std::array<QStringView, 6> kIsoDateShapes = {u"####-##-## ##:##:##.###", u"####-##-## ##:##:##",
                                                       u"####-##-##T##:##:##.###", u"####-##-##T##:##:##",
                                                       u"####-##-## ##:##",        u"####-##-##"};

bool hasShape(QStringView text, QStringView shape) {
  if (text.size() != shape.size()) return false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= u'0' && text[i] <= u'9';
    if (shape[i] == u'#' ? !digit : text[i] != shape[i]) return false;
  }
  return true;
}

// The digits from `at` up to `count` of them; 0 where the text ends before.
int numberAt(QStringView text, qsizetype at, qsizetype count) {
  int number = 0;
  for (qsizetype i = at; i < std::min(at + count, text.size()); ++i) number = number * 10 + (text[i].unicode() - u'0');
  return number;
}

// Read by position rather than by QDateTime::fromString(), whose parser makes
// local times of its own on the way, from 1 January 1900: on Windows each
// local time before 1970 reads the system's time zone from the registry
// again, a dozen times for every document printed.
QDateTime parseIsoDateTime(const QString& text) {
  const QString trimmed = text.trimmed();
  const bool iso = std::any_of(kIsoDateShapes.begin(), kIsoDateShapes.end(),
                               [&trimmed](QStringView shape) { return hasShape(trimmed, shape); });
  if (!iso) throw Error::typeMismatch();
  const QDate date(numberAt(trimmed, 0, 4), numberAt(trimmed, 5, 2), numberAt(trimmed, 8, 2));
  const QTime time(numberAt(trimmed, 11, 2), numberAt(trimmed, 14, 2), numberAt(trimmed, 17, 2),
                   numberAt(trimmed, 20, 3));
  if (!date.isValid() || !time.isValid()) throw Error::typeMismatch();
  const QDateTime parsed(date, time);
  // A local time the clocks skip (a change to summer time).
  if (!parsed.isValid()) throw Error::typeMismatch();
  return parsed;
}

}  // namespace

DbValue::DbValue(QVariant value) : m_value(std::move(value)) {}

bool DbValue::isNull() const { return !m_value.isValid() || m_value.isNull(); }

QString DbValue::toText() const {
  if (isNull()) throw Error::invalidUseOfNull();
  if (isWholeNumberType(m_value)) return m_value.toString();
  if (isNumberType(m_value)) return numberText(m_value.toDouble());
  switch (m_value.typeId()) {
    case QMetaType::QDateTime:
      return formatTimestamp(m_value.toDateTime());
    case QMetaType::QDate:
      return m_value.toDate().toString(Qt::ISODate);
    case QMetaType::QByteArray:
      return QString::fromUtf8(m_value.toByteArray());
    case QMetaType::Bool:
      return m_value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    default:
      return m_value.toString();
  }
}

QString DbValue::toTextOrEmpty() const { return isNull() ? QString() : toText(); }

double DbValue::toNumber() const {
  if (isNull()) throw Error::invalidUseOfNull();
  if (isNumberType(m_value)) return m_value.toDouble();
  if (m_value.typeId() == QMetaType::Bool) return m_value.toBool() ? -1 : 0;
  if (m_value.typeId() == QMetaType::QString) return textToNumber(m_value.toString());
  throw Error::typeMismatch();
}

qint32 DbValue::toInt32() const { return corvex::toInt32(toNumber()); }

QDateTime DbValue::toDateTime() const {
  if (isNull()) throw Error::invalidUseOfNull();
  switch (m_value.typeId()) {
    case QMetaType::QDateTime:
      return m_value.toDateTime();
    case QMetaType::QDate:
      return m_value.toDate().startOfDay();
    case QMetaType::QString:
      return parseIsoDateTime(m_value.toString());
    default:
      throw Error::typeMismatch();
  }
}

QByteArray DbValue::toBytes() const {
  if (isNull()) throw Error::invalidUseOfNull();
  if (m_value.typeId() == QMetaType::QByteArray) return m_value.toByteArray();
  return toText().toUtf8();
}

}  // namespace corvex
