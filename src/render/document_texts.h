#pragma once

#include "db/db_value.h"

#include <QString>

namespace corvex {

/// The texts a rendering computes from the document's first data row,
/// where the layout cannot take them straight from a column.

/// "Exec tovGetFESalvador @Opcion = 9, @Serie='A', @Numero=125". A quote in
/// the series is doubled, so no series can break or extend the statement.
QString documentStatement(const QString& serie, qint32 numero);

/// The tax authority's public query page of the document. A NULL piece
/// counts as empty; the date is the day of `fecha` as yyyy-MM-dd.
QString publicQueryUrl(const QString& environment, const DbValue& idDocumento, const DbValue& fecha);

/// "SON: " + the total in words + " DOLARES". Raises 94 for a NULL total,
/// 13 for one that is no number, 6 for one too large for words.
QString amountLine(const DbValue& total);

/// The promissory note of the Credito Fiscal. Raises 94 for a NULL piece,
/// 13 for a due date that is no date, and what amountLine raises.
QString promissoryNote(const DbValue& tNombre, const DbValue& razonSocial, const DbValue& total, const DbValue& vence);

/// "SAN SALVADOR, " + the date in upper-case words. Raises 94 for NULL.
QString placeAndDate(const DbValue& fecha);

/// `Usuario`, two blanks, `Fecha` as "dd-MMM-yyyy hh:mm:ss AM/PM" on the
/// 12-hour clock, with the month abbreviation and the AM/PM texts of the
/// system's time locale (LC_TIME). A NULL piece counts as empty.
QString PrintStamp(const DbValue& usuario, const DbValue& fecha);

}  // namespace corvex
