#pragma once

#include <QRect>
#include <QString>
#include <QStringList>

namespace corvex::test {

/// Runs a poppler tool with a time-out; raises std::runtime_error when it
/// cannot start, times out or fails. Returns its standard output.
QString runTool(const QString& program, const QStringList& arguments);

/// `pdftotext -layout` of the whole file; pages are separated by '\f'.
QString pdfText(const QString& pdf);

/// The text `pdftotext` finds inside `area` (twips from the paper's corner)
/// of page `page` (1-based), lines joined by '\n' and trimmed.
QString pdfTextIn(const QString& pdf, const QRect& area, int page = 1);

/// The "Pages:" value of `pdfinfo`.
int pdfPageCount(const QString& pdf);

/// The smallest size in points any text of a PDF this program wrote is set
/// in (its "Tf" operators in the inflated page streams, whose user space is
/// twips); 0 for a PDF without text.
double pdfSmallestTextSize(const QString& pdf);

/// Every QR symbol `zbarimg` finds in the picture files, in their order.
QStringList decodeQr(const QStringList& pictures);

/// Every QR symbol found in the pictures of a PDF (`pdfimages -png`, then
/// `zbarimg` on them).
QStringList pdfQrCodes(const QString& pdf);

}  // namespace corvex::test
