#include "db/db_value.h"

#include "base/clock.h"
#include "base/conversions.h"
#include "base/error.h"

#include <QLocale>

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

QDateTime parseIsoDateTime(const QString& text) {
  const QString trimmed = text.trimmed();
  for (const auto& format : {QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"), QStringLiteral("yyyy-MM-dd HH:mm:ss"),
                             QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"), QStringLiteral("yyyy-MM-ddTHH:mm:ss"),
                             QStringLiteral("yyyy-MM-dd HH:mm"), QStringLiteral("yyyy-MM-dd")}) {
    const QDateTime parsed = QDateTime::fromString(trimmed, format);
    if (parsed.isValid()) return parsed;
  }
  throw Error::typeMismatch();
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
