#pragma once

#include <QColor>
#include <QLine>
#include <QRect>
#include <QString>
#include <QStringList>

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
  /// Label: the name of a field of the same band this label names; the label
  /// prints only when that field prints a text, so no caption stands alone.
  QString with;
  /// Field: the bound column, matched without regard to case, and its format.
  QString column;
  QString format;
  /// Field: further columns printed after `column`, each formatted alike;
  /// empty values are left out and the rest joined by `separator`.
  QStringList moreColumns;
  QString separator = QStringLiteral(" ");
  /// Field: `column` holds a count and the first of `moreColumns` a unit
  /// named in the plural, which takes the singular for a count of one
  /// ("1 Mes", "30 Días").
  bool counted = false;
  /// Field: a further column that repeats, letter case aside, a text printed
  /// before it is left out (a code's catalogue name and the issuer's own
  /// description of it are often the same words).
  bool distinct = false;
  /// Field of a flowing layout: its text wraps and its band grows to hold it.
  bool grow = false;
  /// Field: text too long for the box is set smaller instead of being cut.
  bool shrink = false;
  TextStyle style;
  /// Rectangle: filled silver instead of a thin outline.
  bool filled = false;
  /// Line: weight in printer pixels (1/96 inch).
  int weight = 1;
};

enum class BandKind { PageHeader, Detail, PageFooter, Body };

struct Band {
  BandKind kind = BandKind::Detail;
  int height = 0;
  /// In drawing order: a later control is drawn over an earlier one.
  std::vector<Control> controls;
};

/// A part of the body of a flowing layout, printed in order below the page
/// header and continued on the next page when it no longer fits.
struct BodySection {
  Band band{BandKind::Body, 0, {}};
  /// The list whose elements the band prints, once each; empty for a band
  /// printed once, from the document's own values.
  QString list;
  /// Printed above the first element of the list and again at the top of
  /// every page the list continues on; height 0 when there is none.
  Band caption{BandKind::Body, 0, {}};
  /// A column of the document: the section prints only when it holds a
  /// value. Empty: always (a list section: when the list has elements).
  QString when;
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

/// A report layout: pure data, as read from a layout file. A layout either
/// prints one detail band per data row (`detail`), or, when `body` is not
/// empty, flows the sections of its body down the pages.
struct Layout {
  QString name;
  PageSetup page;
  Band pageHeader{BandKind::PageHeader, 0, {}};
  Band detail{BandKind::Detail, 0, {}};
  Band pageFooter{BandKind::PageFooter, 0, {}};
  std::vector<BodySection> body;

  /// The control named `name` in any band (names compare case-insensitively,
  /// as a late-bound report runtime matches them), or nullptr.
  const Control* findControl(const QString& name) const;
  bool hasDataControl() const;
  bool flows() const { return !body.empty(); }
  /// Every band in printing order (a section's caption before its band).
  std::vector<const Band*> bands() const;
};

}  // namespace corvex
