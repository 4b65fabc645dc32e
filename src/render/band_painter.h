#pragma once

#include "pdf/pdf_document.h"
#include "render/data_rows.h"
#include "render/layout.h"

#include <QHash>
#include <QImage>
#include <QPoint>
#include <QString>

#include <optional>

namespace corvex {

/// The values a report receives at run time, keyed by lower-case control name.
struct RunTimeValues {
  QHash<QString, QString> texts;
  QHash<QString, QImage> pictures;
};

/// What one printed band shows: its layout, the data row its fields read
/// (none on a page without rows) and the run-time values. Borrows everything.
struct BandContent {
  const Band& band;
  const DataRows& rows;
  std::optional<std::size_t> row;
  const RunTimeValues& values;
  /// The height it prints at, from printedHeight(); 0: the band's own.
  int height = 0;
  /// The page it prints on and the document's page count; 0 when not counted.
  int page = 0;
  int pages = 0;
};

/// The height the band needs for its row: its own, or more where the text of
/// a growing field wraps below its box (the space below the box is kept).
int printedHeight(const BandContent& content);

/// Draws every control of the band in its listed order with the band's
/// top-left corner at `origin` (twips). A label prints its run-time text when
/// one was set, shrunk to fit its box when it would overflow, else its
/// caption, in which "{page}" and "{pages}" stand for the page numbers when
/// they are counted; a label tied to a field ("with") prints only when that
/// field prints a text; a field its columns' formatted values; an
/// image its run-time picture scaled to fit its box with its proportions kept
/// and centred (nothing when none was set); a data control nothing.
void paintBand(PdfDocument& page, const BandContent& content, QPoint origin);

}  // namespace corvex
