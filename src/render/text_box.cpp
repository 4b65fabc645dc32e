#include "render/text_box.h"

#include <QTextLayout>

namespace corvex {

namespace {

// One printer pixel (1/96 inch) between a box's side and its text, so text
// never touches a rule drawn along the box.
constexpr int kInset = 15;

// Shrinking steps down by a tenth each time, and stops at a size that
// print still shows and a PDF reader still finds.
constexpr double kShrinkStep = 0.9;
constexpr double kSmallestPointSize = 2.0;

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
double fittedPointSize(const QString& text, const QSize& size, const TextStyle& style, TextFit fit,
                       QPaintDevice* device) {
  if (fit == TextFit::Clip) return style.pointSize;
  TextStyle smaller = style;
  for (; smaller.pointSize > kSmallestPointSize; smaller.pointSize *= kShrinkStep) {
    QTextLayout layout(text, fontFor(smaller), device);
    layout.setTextOption(wrapOption(style));
    if (fitsWhole(layout, layOut(layout, size.width()), size)) return smaller.pointSize;
  }
  return kSmallestPointSize;
}

void drawLines(QPainter& painter, const QRect& box, const QString& text, const TextStyle& style, TextFit fit) {
  const QString shown = withLineSeparators(text);
  TextStyle fitted = style;
  fitted.pointSize = fittedPointSize(shown, box.size(), style, fit, painter.device());
  QTextLayout layout(shown, fontFor(fitted), painter.device());
  layout.setTextOption(wrapOption(style));
  layOut(layout, box.width());
  for (int i = 0; i < layout.lineCount(); ++i) {
    const QTextLine line = layout.lineAt(i);
    // Drawing a line that cannot be seen whole would still put its words
    // into the PDF's text, where a reader or a search would find them.
    if (i > 0 && line.y() + line.height() > box.height()) break;
    line.draw(&painter, box.topLeft());
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

void drawTextBox(QPainter& painter, const QRect& box, const QString& text, const TextStyle& style, TextFit fit) {
  painter.save();
  if (style.background) painter.fillRect(box, *style.background);
  painter.setClipRect(box, Qt::IntersectClip);
  painter.setPen(style.color);
  if (!text.isEmpty()) drawLines(painter, box.adjusted(kInset, 0, -kInset, 0), text, style, fit);
  painter.restore();
}

}  // namespace corvex
