#pragma once

#include <QColor>
#include <QLine>
#include <QRect>
#include <QString>

#include <optional>
#include <vector>

namespace corvex {

/// How the text of a label or field looks. Sizes are points.
struct TextStyle {
  QString family = QStringLiteral("Arial Narrow");
  double pointSize = 7.0;
  bool bold = false;
  Qt::Alignment alignment = Qt::AlignLeft;
  QColor color = Qt::black;
  /// An opaque fill behind the text; none when empty.
  std::optional<QColor> background;
};

enum class ControlKind { Label, Field, Rectangle, Line, Image, DataControl };

/// One positioned control of a band. Positions are twips from the band's
/// top-left corner; which members matter depends on the kind.
struct Control {
  QString name;
  ControlKind kind = ControlKind::Label;
  /// Every kind but Line.
  QRect box;
  /// Line only: from p1() to p2().
  QLine line;
  /// Label: the design-time caption (empty for captions set at run time).
  QString caption;
  /// Field: the bound column, matched without regard to case, and its format.
  QString column;
  QString format;
  TextStyle style;
  /// Rectangle: filled silver instead of a thin outline.
  bool filled = false;
  /// Line: weight in printer pixels (1/96 inch).
  int weight = 1;
};

enum class BandKind { PageHeader, Detail, PageFooter };

struct Band {
  BandKind kind = BandKind::Detail;
  int height = 0;
  /// In drawing order: a later control is drawn over an earlier one.
  std::vector<Control> controls;
};

struct PageMargins {
  int left = 1440;
  int top = 1440;
  int right = 1440;
  int bottom = 1440;
};

/// Paper and print area, in twips.
struct PageSetup {
  int paperWidth = 12240;
  int paperHeight = 15840;
  int printWidth = 10890;
  PageMargins margins;
};

/// A report layout: pure data, as read from a layout file.
struct Layout {
  QString name;
  PageSetup page;
  Band pageHeader{BandKind::PageHeader, 0, {}};
  Band detail{BandKind::Detail, 0, {}};
  Band pageFooter{BandKind::PageFooter, 0, {}};

  /// The control named `name` in any band (names compare case-insensitively,
  /// as a late-bound report runtime matches them), or nullptr.
  const Control* findControl(const QString& name) const;
  bool hasDataControl() const;
  /// Every band in printing order.
  std::vector<const Band*> bands() const;
};

}  // namespace corvex
