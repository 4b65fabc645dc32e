#include "render/band_painter.h"

#include "render/text_box.h"
#include "render/value_format.h"

namespace corvex {

namespace {

// Line weights count printer pixels of the layout designer's 96 dpi screen.
constexpr int kTwipsPerPixel = 15;
const QColor kSilver(0xC0, 0xC0, 0xC0);

QString labelText(const Control& control, const RunTimeValues& values) {
  return values.texts.value(control.name.toLower(), control.caption);
}

QString fieldText(const Control& control, const BandContent& content) {
  if (!content.row) return QString();
  const QVariant value = content.rows.value(*content.row, content.rows.columnIndex(control.column));
  return formatValue(value, control.format);
}

void paintRectangle(PdfDocument& page, const Control& control) {
  if (control.filled) {
    page.fillRect(control.box, kSilver);
    return;
  }
  page.strokeRect(control.box, Qt::black, kTwipsPerPixel);
}

void paintLine(PdfDocument& page, const Control& control) {
  page.drawLine(control.line, Qt::black, control.weight * kTwipsPerPixel);
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
      // Texts set at run time are the document's own (the amount in words,
      // the promissory note): a legal text is never cut off silently, so it
      // shrinks instead.
      drawTextBox(page, control.box, labelText(control, content.values), control.style,
                  content.values.texts.contains(control.name.toLower()) ? TextFit::Shrink : TextFit::Clip);
      break;
    case ControlKind::Field:
      drawTextBox(page, control.box, fieldText(control, content), control.style);
      break;
    case ControlKind::Rectangle:
      paintRectangle(page, control);
      break;
    case ControlKind::Line:
      paintLine(page, control);
      break;
    case ControlKind::Image:
      paintImage(page, control, content.values);
      break;
    case ControlKind::DataControl:
      break;
  }
}

}  // namespace

void paintBand(PdfDocument& page, const BandContent& content, QPoint origin) {
  page.save();
  page.translate(origin);
  for (const Control& control : content.band.controls) paintControl(page, control, content);
  page.restore();
}

}  // namespace corvex
