#pragma once

#include "pdf/pdf_document.h"

#include <QSize>
#include <QString>

namespace corvex {

/// Draws `text` in large see-through letters across the middle of a page of
/// `paper` (twips), over what the page prints, so that every word stays
/// readable and the page still cannot be mistaken for one without the mark.
/// Nothing for an empty text.
void paintWatermark(PdfDocument& page, QSize paper, const QString& text);

}  // namespace corvex
