#pragma once

#include "pdf/pdf_image.h"
#include "pdf/true_type_font.h"

#include <QByteArray>
#include <QColor>
#include <QGlyphRun>
#include <QImage>
#include <QLine>
#include <QRect>
#include <QString>

#include <memory>
#include <set>
#include <vector>

namespace corvex {

/// A PDF file drawn in twips from the paper's top-left corner, y down, as the
/// layouts measure. Text arrives as laid-out glyphs; each TrueType font is
/// embedded once per file as a subset of the glyphs the file prints, with
/// the map back to the characters that text extraction and search read. The
/// fonts' tables and the encoded logo are shared between files, so that a
/// run of documents reads and encodes them once.
///
/// One instance belongs to one thread; several may draw at once.
class PdfDocument {
 public:
  /// `paper` in twips. The first page starts at once.
  PdfDocument(QSize paper, QString title, QString creator);

  void newPage();

  /// The current position, clip and nothing else, as PDF's q and Q keep them.
  void save();
  void restore();
  void translate(QPoint offset);
  /// Nothing outside `box` shows until restore().
  void clipTo(const QRect& box);

  void fillRect(const QRect& box, const QColor& colour);
  /// A `width` twips wide outline centred on the box's edges, square corners.
  void strokeRect(const QRect& box, const QColor& colour, int width);
  /// A `width` twips wide line that ends flat at its end points.
  void drawLine(const QLine& line, const QColor& colour, int width);
  /// `image` stretched over `target`.
  void drawImage(const QRect& target, const QImage& image);
  /// The run's glyphs at their positions, offset by `origin`. A colour that
  /// is not opaque lets what lies below show through; its opacity holds for
  /// everything filled until restore().
  void drawGlyphs(QPointF origin, const QGlyphRun& run, const QColor& colour);

  /// The whole file.
  QByteArray toPdf() const;

 private:
  struct FontUse {
    std::shared_ptr<const TrueTypeFont> font;
    std::set<quint16> glyphs;
  };

  QByteArray& content() { return m_pages.back(); }
  /// The font's place in m_fonts, added when new.
  std::size_t fontIndex(const std::shared_ptr<const TrueTypeFont>& font);
  QByteArray imageName(const QImage& image);
  void drawOutlines(QPointF origin, const QGlyphRun& run);
  /// The fill colour's operators, its opacity set first when it has one.
  QByteArray fillColour(const QColor& colour);

  QSize m_paper;
  QString m_title;
  QString m_creator;
  std::vector<QByteArray> m_pages;
  std::vector<FontUse> m_fonts;
  /// The opacities (alpha 0-254) fills use, each a graphics state "A<alpha>".
  std::set<int> m_opacities;
  /// Each picture once, however many pages show it, by its QImage::cacheKey().
  std::vector<std::pair<qint64, std::shared_ptr<const PdfImage>>> m_images;
};

}  // namespace corvex
