#include "render/text_box.h"

#include <QTextLayout>

namespace corvex {

namespace {

// One printer pixel (1/96 inch) between a box's side and its text, so text
// never touches a rule drawn along the box.
constexpr int kInset = 15;

QStringList familiesFor(const QString& family) {
  if (family.compare(QLatin1String("Arial Narrow"), Qt::CaseInsensitive) == 0) {
    return {family, QStringLiteral("Liberation Sans Narrow")};
  }
  if (family.startsWith(QLatin1String("Arial"), Qt::CaseInsensitive))
    return {family, QStringLiteral("Liberation Sans")};
  return {family};
}

void drawLines(QPainter& painter, const QRect& box, const QString& text, const TextStyle& style) {
  QString shown = text;
  shown.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator));
  shown.replace(QLatin1Char('\n'), QChar::LineSeparator);
  QTextLayout layout(shown, fontFor(style), painter.device());
  QTextOption option(style.alignment);
  option.setWrapMode(QTextOption::WordWrap);
  layout.setTextOption(option);
  layout.beginLayout();
  qreal top = 0;
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(box.width());
    line.setPosition(QPointF(0, top));
    top += line.height();
  }
  layout.endLayout();
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

void drawTextBox(QPainter& painter, const QRect& box, const QString& text, const TextStyle& style) {
  painter.save();
  if (style.background) painter.fillRect(box, *style.background);
  painter.setClipRect(box, Qt::IntersectClip);
  painter.setPen(style.color);
  if (!text.isEmpty()) drawLines(painter, box.adjusted(kInset, 0, -kInset, 0), text, style);
  painter.restore();
}

}  // namespace corvex
