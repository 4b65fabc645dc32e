#include "render/text_box.h"

#include "base/error.h"

#include <QMutex>
#include <QMutexLocker>
#include <QPaintDevice>
#include <QRawFont>
#include <QSet>
#include <QTextLayout>

#include <cmath>

namespace corvex {

namespace {

// One printer pixel (1/96 inch) between a box's side and its text, so text
// never touches a rule drawn along the box.
constexpr int kInset = 15;

// Shrinking steps down by a tenth each time and stops at the smallest size a
// buyer still reads on paper; a text that does not fit even then wraps at
// that size and the layout must give it room.
constexpr double kShrinkStep = 0.9;
// A legal text is never cut off: it goes below the legible floor, down to a
// size that print still shows and a PDF reader still finds.
constexpr double kSmallestWholePointSize = 2.0;

// Text is laid out for a device of one dot per twip, as the page measures.
class TwipsDevice : public QPaintDevice {
 public:
  QPaintEngine* paintEngine() const override { return nullptr; }

 protected:
  int metric(PaintDeviceMetric metric) const override {
    constexpr int kTwipsPerInch = 1440;
    switch (metric) {
      case PdmDpiX:
      case PdmDpiY:
      case PdmPhysicalDpiX:
      case PdmPhysicalDpiY:
        return kTwipsPerInch;
      case PdmDevicePixelRatio:
        return 1;
      case PdmDevicePixelRatioScaled:
        return int(devicePixelRatioFScale());
      case PdmDepth:
        return 32;
      default:
        return 0;
    }
  }
};

// One device for every thread (it only answers metrics), never destroyed:
// no Qt destructor runs as a worker thread ends or as the process exits.
QPaintDevice* twipsDevice() {
  static TwipsDevice* const device = new TwipsDevice;
  return device;
}

// Asked of the font file once per font and size for the life of the process:
// every asking reads the file again, and on Windows Qt's FreeType reads it
// through the C library, a seek and a read of 4 kB a text box.
bool hasFontFile(const QFont& font) {
  static QMutex mutex;
  static QSet<QString> known;
  const QString key = font.key();
  {
    const QMutexLocker lock(&mutex);
    if (known.contains(key)) return true;
  }
  if (QRawFont::fromFont(font).fontTable("head").isEmpty()) return false;
  const QMutexLocker lock(&mutex);
  known.insert(key);
  return true;
}

// Text that no font file stands behind (neither the layout's font nor its
// stand-in is installed, nor any other) would print as boxes or not at all:
// the document fails instead, naming the font to install.
void requireFontFile(const QFont& font) {
  if (hasFontFile(font)) return;
  throw Error(kFileNotFound, QStringLiteral("No font file for \"%1\": install one of them")
                                 .arg(font.families().join(QStringLiteral("\" or \""))));
}

QTextOption wrapOption(const TextStyle& style) {
  QTextOption option(style.alignment);
  option.setWrapMode(QTextOption::WordWrap);
  return option;
}

QStringList familiesFor(const QString& family) {
  if (family.compare(QLatin1String("Arial Narrow"), Qt::CaseInsensitive) == 0) {
    return {family, QStringLiteral("Liberation Sans Narrow")};
  }
  if (family.startsWith(QLatin1String("Arial"), Qt::CaseInsensitive))
    return {family, QStringLiteral("Liberation Sans")};
  return {family};
}

// Lays `text` out in lines of `width` from the top; returns the height used.
qreal layOut(QTextLayout& layout, qreal width) {
  layout.beginLayout();
  qreal top = 0;
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(width);
    line.setPosition(QPointF(0, top));
    top += line.height();
  }
  layout.endLayout();
  return top;
}

QString withLineSeparators(const QString& text) {
  QString shown = text;
  shown.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator));
  shown.replace(QLatin1Char('\n'), QChar::LineSeparator);
  return shown;
}

// Every line, and every word of it, inside `size`.
bool fitsWhole(const QTextLayout& layout, qreal height, const QSize& size) {
  if (height > size.height()) return false;
  for (int i = 0; i < layout.lineCount(); ++i) {
    if (layout.lineAt(i).naturalTextWidth() > size.width()) return false;
  }
  return true;
}

// The style's size, or for TextFit::Shrink the largest of the sizes
// stepped down from it at which the whole text fits the box.
double fittedPointSize(const QString& text, const QSize& size, const TextStyle& style, TextFit fit) {
  const double floor = fit == TextFit::ShrinkWhole ? kSmallestWholePointSize : kSmallestPointSize;
  if (fit == TextFit::Clip || style.pointSize <= floor) return style.pointSize;
  TextStyle smaller = style;
  for (; smaller.pointSize > floor; smaller.pointSize *= kShrinkStep) {
    QTextLayout layout(text, fontFor(smaller), twipsDevice());
    layout.setTextOption(wrapOption(style));
    if (fitsWhole(layout, layOut(layout, size.width()), size)) return smaller.pointSize;
  }
  return floor;
}

void drawLines(PdfDocument& page, const QRect& box, const QString& text, const TextStyle& style, TextFit fit) {
  const QString shown = withLineSeparators(text);
  TextStyle fitted = style;
  fitted.pointSize = fittedPointSize(shown, box.size(), style, fit);
  const QFont font = fontFor(fitted);
  requireFontFile(font);
  QTextLayout layout(shown, font, twipsDevice());
  layout.setTextOption(wrapOption(style));
  layOut(layout, box.width());
  for (int i = 0; i < layout.lineCount(); ++i) {
    const QTextLine line = layout.lineAt(i);
    // Drawing a line that cannot be seen whole would still put its words
    // into the PDF's text, where a reader or a search would find them.
    if (i > 0 && line.y() + line.height() > box.height()) break;
    for (const QGlyphRun& run : line.glyphRuns()) page.drawGlyphs(box.topLeft(), run, style.color);
  }
}

}  // namespace

QFont fontFor(const TextStyle& style) {
  QFont font;
  font.setFamilies(familiesFor(style.family));
  font.setPointSizeF(style.pointSize);
  const bool black = style.family.compare(QLatin1String("Arial Black"), Qt::CaseInsensitive) == 0;
  font.setWeight(black ? QFont::Black : style.bold ? QFont::Bold : QFont::Normal);
  return font;
}

int textHeight(const QString& text, int width, const TextStyle& style) {
  if (text.isEmpty()) return 0;
  QTextLayout layout(withLineSeparators(text), fontFor(style), twipsDevice());
  layout.setTextOption(wrapOption(style));
  return int(std::ceil(layOut(layout, width - 2 * kInset)));
}

void drawTextBox(PdfDocument& page, const QRect& box, const QString& text, const TextStyle& style, TextFit fit) {
  page.save();
  if (style.background) page.fillRect(box, *style.background);
  page.clipTo(box);
  if (!text.isEmpty()) drawLines(page, box.adjusted(kInset, 0, -kInset, 0), text, style, fit);
  page.restore();
}

}  // namespace corvex
