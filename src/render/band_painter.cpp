#include "render/band_painter.h"

#include "render/text_box.h"
#include "render/value_format.h"
#include "text/unit_count.h"

namespace corvex {

namespace {

// Line weights count printer pixels of the layout designer's 96 dpi screen.
constexpr int kTwipsPerPixel = 15;
const QColor kSilver(0xC0, 0xC0, 0xC0);

QString labelText(const Control& control, const BandContent& content) {
  QString text = content.values.texts.value(control.name.toLower(), control.caption);
  if (content.pages > 0) {
    text.replace(QLatin1String("{pages}"), QString::number(content.pages));
    text.replace(QLatin1String("{page}"), QString::number(content.page));
  }
  return text;
}

QVariant columnValue(const QString& column, const BandContent& content) {
  return content.rows.value(*content.row, content.rows.columnIndex(column));
}

QString columnText(const QString& column, const Control& control, const BandContent& content) {
  return formatValue(columnValue(column, content), control.format);
}

// The unit after a count agrees with it: "1 Mes", "2 Meses".
QString moreText(const QString& column, const Control& control, const BandContent& content) {
  const QString text = columnText(column, control, content);
  if (!control.counted || column != control.moreColumns.first()) return text;
  bool isNumber = false;
  const double count = columnValue(control.column, content).toDouble(&isNumber);
  return isNumber ? unitForCount(count, text) : text;
}

QString fieldText(const Control& control, const BandContent& content) {
  if (!content.row) return QString();
  QStringList parts{columnText(control.column, control, content)};
  for (const QString& column : control.moreColumns) {
    const QString more = moreText(column, control, content);
    if (!more.isEmpty() && !(control.distinct && parts.contains(more, Qt::CaseInsensitive))) parts << more;
  }
  if (parts.first().isEmpty()) parts.removeFirst();
  return parts.join(control.separator);
}

// A label tied to a field that prints nothing would stand alone.
bool labelShown(const Control& label, const BandContent& content) {
  if (label.with.isEmpty()) return true;
  for (const Control& control : content.band.controls) {
    if (control.kind == ControlKind::Field && control.name.compare(label.with, Qt::CaseInsensitive) == 0)
      return !fieldText(control, content).trimmed().isEmpty();
  }
  return true;
}

// How much lower than designed the band's bottom edge lies.
int growth(const BandContent& content) {
  return content.height > content.band.height ? content.height - content.band.height : 0;
}

QRect printedBox(const Control& control, const BandContent& content) {
  const int extra = growth(content);
  if (extra == 0 || (!control.grow && control.box.y() + control.box.height() != content.band.height))
    return control.box;
  return control.box.adjusted(0, 0, 0, extra);
}

QPoint printedPoint(QPoint point, const BandContent& content) {
  if (point.y() == content.band.height) point.ry() += growth(content);
  return point;
}

void paintRectangle(PdfDocument& page, const Control& control, const BandContent& content) {
  const QRect box = printedBox(control, content);
  if (control.filled) {
    page.fillRect(box, kSilver);
    return;
  }
  page.strokeRect(box, Qt::black, kTwipsPerPixel);
}

void paintLine(PdfDocument& page, const Control& control, const BandContent& content) {
  const QLine line(printedPoint(control.line.p1(), content), printedPoint(control.line.p2(), content));
  page.drawLine(line, Qt::black, control.weight * kTwipsPerPixel);
}

void paintImage(PdfDocument& page, const Control& control, const RunTimeValues& values) {
  const QImage picture = values.pictures.value(control.name.toLower());
  if (picture.isNull()) return;
  const QSize fitted = picture.size().scaled(control.box.size(), Qt::KeepAspectRatio);
  QRect target(QPoint(0, 0), fitted);
  target.moveCenter(control.box.center());
  page.drawImage(target, picture);
}

void paintControl(PdfDocument& page, const Control& control, const BandContent& content) {
  switch (control.kind) {
    case ControlKind::Label:
      if (!labelShown(control, content)) break;
      // Texts set at run time are the document's own (the amount in words,
      // the promissory note): a legal text is never cut off silently, so it
      // shrinks instead, below the legible floor if it must.
      drawTextBox(page, control.box, labelText(control, content), control.style,
                  content.values.texts.contains(control.name.toLower()) ? TextFit::ShrinkWhole : TextFit::Clip);
      break;
    case ControlKind::Field:
      drawTextBox(page, printedBox(control, content), fieldText(control, content), control.style,
                  control.shrink ? TextFit::Shrink : TextFit::Clip);
      break;
    case ControlKind::Rectangle:
      paintRectangle(page, control, content);
      break;
    case ControlKind::Line:
      paintLine(page, control, content);
      break;
    case ControlKind::Image:
      paintImage(page, control, content.values);
      break;
    case ControlKind::DataControl:
      break;
  }
}

}  // namespace

int printedHeight(const BandContent& content) {
  int height = content.band.height;
  for (const Control& control : content.band.controls) {
    if (control.kind != ControlKind::Field || !control.grow) continue;
    const int needed = textHeight(fieldText(control, content), control.box.width(), control.style);
    height = std::max(height, content.band.height + needed - control.box.height());
  }
  return height;
}

void paintBand(PdfDocument& page, const BandContent& content, QPoint origin) {
  page.save();
  page.translate(origin);
  for (const Control& control : content.band.controls) paintControl(page, control, content);
  page.restore();
}

}  // namespace corvex
