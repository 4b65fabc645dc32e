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

void paintRectangle(QPainter& painter, const Control& control) {
  if (control.filled) {
    painter.fillRect(control.box, kSilver);
    return;
  }
  painter.setPen(QPen(Qt::black, kTwipsPerPixel));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(control.box);
}

void paintLine(QPainter& painter, const Control& control) {
  painter.setPen(QPen(Qt::black, control.weight * kTwipsPerPixel, Qt::SolidLine, Qt::FlatCap));
  painter.drawLine(control.line);
}

void paintImage(QPainter& painter, const Control& control, const RunTimeValues& values) {
  const QImage picture = values.pictures.value(control.name.toLower());
  if (picture.isNull()) return;
  const QSize fitted = picture.size().scaled(control.box.size(), Qt::KeepAspectRatio);
  QRect target(QPoint(0, 0), fitted);
  target.moveCenter(control.box.center());
  painter.drawImage(target, picture);
}

void paintControl(QPainter& painter, const Control& control, const BandContent& content) {
  switch (control.kind) {
    case ControlKind::Label:
      // Texts set at run time are the document's own (the amount in words,
      // the promissory note): a legal text is never cut off silently, so it
      // shrinks instead.
      drawTextBox(painter, control.box, labelText(control, content.values), control.style,
                  content.values.texts.contains(control.name.toLower()) ? TextFit::Shrink : TextFit::Clip);
      break;
    case ControlKind::Field:
      drawTextBox(painter, control.box, fieldText(control, content), control.style);
      break;
    case ControlKind::Rectangle:
      paintRectangle(painter, control);
      break;
    case ControlKind::Line:
      paintLine(painter, control);
      break;
    case ControlKind::Image:
      paintImage(painter, control, content.values);
      break;
    case ControlKind::DataControl:
      break;
  }
}

}  // namespace

void paintBand(QPainter& painter, const BandContent& content, QPoint origin) {
  painter.save();
  painter.translate(origin);
  for (const Control& control : content.band.controls) paintControl(painter, control, content);
  painter.restore();
}

}  // namespace corvex
