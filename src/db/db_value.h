#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>

namespace corvex {

/// One value a column delivers: text, number, date, picture bytes or NULL.
/// The typed readers raise "Invalid use of Null" (94) on NULL and "Type
/// mismatch" (13) on a value that cannot be taken as asked.
class DbValue {
 public:
  DbValue() = default;
  explicit DbValue(QVariant value);

  bool isNull() const;
  const QVariant& variant() const { return m_value; }

  /// The value's text form: whole numbers without decimals, dates as
  /// "yyyy-mm-dd hh:nn:ss", bytes as UTF-8. NULL raises 94.
  QString toText() const;
  /// Like toText(), with NULL as an empty text.
  QString toTextOrEmpty() const;
  /// A number, also from numeric text. NULL raises 94, other text 13.
  double toNumber() const;
  /// A 32-bit whole number, rounded half to even; beyond the range raises 6,
  /// NULL 94, text that is not a number 13.
  qint32 toInt32() const;
  /// A date, also from ISO-8601 text ("2023-10-04", "2023-10-04 15:07:09",
  /// with 'T' or fractions of a second too). NULL raises 94, other values 13.
  QDateTime toDateTime() const;
  /// Picture bytes; text is taken as its UTF-8 bytes. NULL raises 94.
  QByteArray toBytes() const;

 private:
  QVariant m_value;
};

}  // namespace corvex
