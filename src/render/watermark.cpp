#include "render/watermark.h"

#include "render/text_box.h"

namespace corvex {

namespace {

// Large, bold and see-through: it crosses the items and totals without hiding
// a word of them.
constexpr double kMarkPointSize = 40.0;
const QColor kMarkColor(0xD0, 0x20, 0x20, 0x50);
// Twips of the band's height and of the paper kept clear at each side.
constexpr int kBandHeight = 2400;
constexpr int kSideClearance = 720;

}  // namespace

void paintWatermark(PdfDocument& page, QSize paper, const QString& text) {
  if (text.isEmpty()) return;
  TextStyle style;
  style.family = QStringLiteral("Arial Narrow");
  style.pointSize = kMarkPointSize;
  style.bold = true;
  style.alignment = Qt::AlignHCenter;
  style.color = kMarkColor;
  const QRect band(kSideClearance, (paper.height() - kBandHeight) / 2, paper.width() - 2 * kSideClearance, kBandHeight);
  drawTextBox(page, band, text, style);
}

}  // namespace corvex
