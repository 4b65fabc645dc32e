#pragma once

#include <QString>
#include <QVariant>

namespace corvex {

/// The text a field prints for `value` under `format`, in the report
/// runtime's format syntax. Never raises: a value the format cannot take
/// prints as plain text.
///
/// - NULL prints nothing.
/// - No format: numbers as plain text (whole numbers without decimals, others
///   with up to 15 significant digits), dates as "yyyy-MM-dd hh:mm:ss" (only
///   "yyyy-MM-dd" at midnight), text unchanged.
/// - Number formats "0", "0.00", "#,##0.00", "#,##0.0000" ...: a ',' asks for
///   thousands grouping, the zeros after '.' give the fixed decimals. The
///   value's 15 significant digits are rounded half away from zero, as the
///   runtime does, so 2.675 prints 2.68; a value that rounds to zero prints
///   without a minus sign. Numeric text is taken as a number.
/// - Date formats built of d, dd, M, MM, MMM, MMMM, yy, yyyy, h, hh (12-hour),
///   H, HH (24-hour), m, mm (minutes: lower case m is always minutes), s, ss
///   and "AM/PM"; other letters make the format unsupported, any other
///   character prints as it stands. Month names are the
///   English ones ("Oct"). ISO-8601 text ("2023-10-04 15:07:09") is taken as
///   a date.
QString formatValue(const QVariant& value, const QString& format);

/// Whether formatValue() understands `format` (an empty format included).
bool isSupportedFormat(const QString& format);

}  // namespace corvex
