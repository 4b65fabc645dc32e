#pragma once

#include "pdf/pdf_document.h"
#include "render/layout.h"

#include <QFont>
#include <QRect>
#include <QString>

namespace corvex {

/// The font for `style`. Layouts name Windows typefaces; where they are
/// missing the metric-compatible Liberation faces stand in ("Arial Narrow" ->
/// "Liberation Sans Narrow"), and "Arial Black" keeps its black weight.
QFont fontFor(const TextStyle& style);

/// The smallest size text is set in: anything smaller cannot be read on paper.
constexpr double kSmallestPointSize = 7.0;

/// What happens to text that does not fit its box at the style's size.
enum class TextFit {
  /// Cut: whatever lies below or beside the box is left out.
  Clip,
  /// Set smaller, step by step, until every word fits, down to
  /// kSmallestPointSize: a text that does not fit at that size wraps there
  /// and is cut as with Clip. Text that fits keeps the style's size, and so
  /// does a style already at or below the floor.
  Shrink,
  /// As Shrink, but below kSmallestPointSize too, as far as the whole text
  /// needs: for a legal text, which must never be cut off.
  ShrinkWhole,
};

/// Draws `text` in `box` (twips on the page): the background first when
/// the style has one, then the text from the top, wrapped at word boundaries
/// and aligned as the style says, its size chosen by `fit`. A line that
/// would not fit whole below the first is left out and everything is clipped
/// to the box, so no text reaches a neighbouring control. The page's
/// state is restored on return.
void drawTextBox(PdfDocument& page, const QRect& box, const QString& text, const TextStyle& style,
                 TextFit fit = TextFit::Clip);

/// The height in twips that drawTextBox() with TextFit::Clip needs to show
/// all of `text` in a box `width` twips wide; 0 for no text.
int textHeight(const QString& text, int width, const TextStyle& style);

}  // namespace corvex
