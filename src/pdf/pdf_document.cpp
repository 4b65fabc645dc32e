#include "pdf/pdf_document.h"

#include "pdf/pdf_font_program.h"
#include "pdf/pdf_objects.h"

#include <QDateTime>
#include <QPainterPath>
#include <QRawFont>

#include <algorithm>
#include <cmath>

namespace corvex {

namespace {

constexpr double kTwipsPerPoint = 20.0;
// TJ adjustments smaller than this (thousandths of the font size) are
// rounding, not layout.
constexpr double kSmallestAdjustment = 0.05;

// "F1", "Im2": the name the page's resources give the index-th font or image.
QByteArray resourceName(const char* kind, std::size_t index) { return kind + QByteArray::number(qsizetype(index) + 1); }

QByteArray colourOperands(const QColor& colour) {
  return pdfNumber(colour.redF()) + ' ' + pdfNumber(colour.greenF()) + ' ' + pdfNumber(colour.blueF());
}

QByteArray rectangle(const QRectF& box) {
  return pdfNumber(box.x()) + ' ' + pdfNumber(box.y()) + ' ' + pdfNumber(box.width()) + ' ' + pdfNumber(box.height()) +
         " re";
}

// PDF text strings outside ASCII: UTF-16 with its byte-order mark, in hex.
QByteArray textString(const QString& text) {
  QByteArray hex = "<FEFF";
  for (const QChar unit : text) hex += pdfHex16(unit.unicode());
  return hex + '>';
}

// A Type 0 font over the CID-keyed TrueType subset: glyph ids are the codes.
int writeFont(PdfObjects& objects, const TrueTypeFont& font, const PdfFontProgram& program) {
  const double scale = 1000.0 / font.unitsPerEm();
  const QRect box = font.boundingBox();
  const int type0 = objects.reserve();
  const int cidFont = objects.reserve();
  const int descriptor = objects.reserve();
  const int fontFile = objects.reserve();
  const int toUnicode = objects.reserve();
  objects.write(type0, "<< /Type /Font /Subtype /Type0 /BaseFont " + program.baseFont +
                           " /Encoding /Identity-H /DescendantFonts [" + PdfObjects::reference(cidFont) +
                           "] /ToUnicode " + PdfObjects::reference(toUnicode) + " >>");
  objects.write(cidFont, "<< /Type /Font /Subtype /CIDFontType2 /BaseFont " + program.baseFont +
                             " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>"
                             " /FontDescriptor " +
                             PdfObjects::reference(descriptor) + " /CIDToGIDMap /Identity /W " + program.widths +
                             " >>");
  objects.write(descriptor, "<< /Type /FontDescriptor /FontName " + program.baseFont + " /Flags " +
                                QByteArray::number(font.italicAngle() != 0 ? 96 : 32) + " /FontBBox [" +
                                pdfNumber(box.left() * scale) + ' ' + pdfNumber(box.top() * scale) + ' ' +
                                pdfNumber(box.right() * scale) + ' ' + pdfNumber(box.bottom() * scale) +
                                "] /ItalicAngle " + pdfNumber(font.italicAngle()) + " /Ascent " +
                                pdfNumber(font.ascent() * scale) + " /Descent " + pdfNumber(font.descent() * scale) +
                                " /CapHeight " + pdfNumber(font.capHeight() * scale) + " /StemV 80 /FontFile2 " +
                                PdfObjects::reference(fontFile) + " >>");
  objects.writeStream(fontFile, "/Length1 " + QByteArray::number(program.fontFileLength) + " /Filter /FlateDecode",
                      program.fontFile);
  objects.writeStream(toUnicode, "/Filter /FlateDecode", program.toUnicode);
  return type0;
}

int writeImage(PdfObjects& objects, const PdfImage& image) {
  const int number = objects.reserve();
  QByteArray dictionary = image.dictionary;
  if (image.softMask) dictionary += " /SMask " + PdfObjects::reference(writeImage(objects, *image.softMask));
  objects.writeStream(number, dictionary, image.data);
  return number;
}

QByteArray pathOperators(const QPainterPath& path) {
  QByteArray operators;
  for (int i = 0; i < path.elementCount(); ++i) {
    const QPainterPath::Element element = path.elementAt(i);
    const QByteArray point = pdfNumber(element.x) + ' ' + pdfNumber(element.y);
    if (element.isMoveTo()) {
      operators += point + " m\n";
    } else if (element.isLineTo()) {
      operators += point + " l\n";
    } else if (element.isCurveTo() && i + 2 < path.elementCount()) {
      const QPainterPath::Element second = path.elementAt(i + 1);
      const QPainterPath::Element end = path.elementAt(i + 2);
      operators += point + ' ' + pdfNumber(second.x) + ' ' + pdfNumber(second.y) + ' ' + pdfNumber(end.x) + ' ' +
                   pdfNumber(end.y) + " c\n";
      i += 2;
    }
  }
  return operators;
}

}  // namespace

PdfDocument::PdfDocument(QSize paper, QString title, QString creator)
    : m_paper(paper), m_title(std::move(title)), m_creator(std::move(creator)) {
  newPage();
}

// Every page starts in twips from the top-left corner, y down.
void PdfDocument::newPage() {
  m_pages.push_back("0.05 0 0 -0.05 0 " + pdfNumber(m_paper.height() / kTwipsPerPoint) + " cm\n");
}

void PdfDocument::save() { content() += "q\n"; }

void PdfDocument::restore() { content() += "Q\n"; }

void PdfDocument::translate(QPoint offset) {
  content() += "1 0 0 1 " + pdfNumber(offset.x()) + ' ' + pdfNumber(offset.y()) + " cm\n";
}

void PdfDocument::clipTo(const QRect& box) { content() += rectangle(box) + " W n\n"; }

void PdfDocument::fillRect(const QRect& box, const QColor& colour) {
  content() += colourOperands(colour) + " rg " + rectangle(box) + " f\n";
}

void PdfDocument::strokeRect(const QRect& box, const QColor& colour, int width) {
  content() += colourOperands(colour) + " RG " + pdfNumber(width) + " w 2 J 0 j " + rectangle(box) + " S\n";
}

void PdfDocument::drawLine(const QLine& line, const QColor& colour, int width) {
  content() += colourOperands(colour) + " RG " + pdfNumber(width) + " w 0 J " + pdfNumber(line.x1()) + ' ' +
               pdfNumber(line.y1()) + " m " + pdfNumber(line.x2()) + ' ' + pdfNumber(line.y2()) + " l S\n";
}

// The image's first row at the target's top: the unit square flipped back.
void PdfDocument::drawImage(const QRect& target, const QImage& image) {
  if (image.isNull() || target.isEmpty()) return;
  content() += "q " + pdfNumber(target.width()) + " 0 0 " + pdfNumber(-target.height()) + ' ' + pdfNumber(target.x()) +
               ' ' + pdfNumber(target.y() + target.height()) + " cm /" + imageName(image) + " Do Q\n";
}

// One text object per run: its glyph ids as two-byte codes, each moved to
// where the layout put it by the difference from where the font's own
// advances leave the pen.
void PdfDocument::drawGlyphs(QPointF origin, const QGlyphRun& run, const QColor& colour) {
  const QList<quint32> glyphs = run.glyphIndexes();
  const QList<QPointF> positions = run.positions();
  if (glyphs.isEmpty() || glyphs.size() != positions.size()) return;
  content() += fillColour(colour);
  const std::shared_ptr<const TrueTypeFont> font = TrueTypeFont::of(run.rawFont());
  if (!font) {
    drawOutlines(origin, run);
    return;
  }
  const std::size_t index = fontIndex(font);
  FontUse& use = m_fonts[index];
  const double size = run.rawFont().pixelSize();
  const QPointF start = origin + positions.first();
  QByteArray shown;
  double pen = positions.first().x();
  for (qsizetype i = 0; i < glyphs.size(); ++i) {
    const auto glyph = quint16(glyphs[i]);
    const double adjustment = (pen - positions[i].x()) * 1000.0 / size;
    if (std::fabs(adjustment) >= kSmallestAdjustment) {
      shown += pdfNumber(adjustment);
      pen = positions[i].x();
    }
    shown += '<';
    shown += pdfHex16(glyph);
    shown += '>';
    use.glyphs.insert(glyph);
    pen += pdfGlyphWidth(*font, glyph) * size / 1000.0;
  }
  content() += "BT /" + resourceName("F", index) + ' ' + pdfNumber(size) + " Tf 1 0 0 -1 " + pdfNumber(start.x()) +
               ' ' + pdfNumber(start.y()) + " Tm [" + shown + "] TJ ET\n";
}

// Glyphs of a font that cannot be embedded print as shapes: they look the
// same, though a reader cannot search them.
void PdfDocument::drawOutlines(QPointF origin, const QGlyphRun& run) {
  const QList<quint32> glyphs = run.glyphIndexes();
  const QList<QPointF> positions = run.positions();
  QPainterPath outlines;
  for (qsizetype i = 0; i < glyphs.size(); ++i)
    outlines.addPath(run.rawFont().pathForGlyph(glyphs[i]).translated(origin + positions[i]));
  content() += pathOperators(outlines) + "f\n";
}

std::size_t PdfDocument::fontIndex(const std::shared_ptr<const TrueTypeFont>& font) {
  for (std::size_t i = 0; i < m_fonts.size(); ++i) {
    if (m_fonts[i].font == font) return i;
  }
  m_fonts.push_back(FontUse{font, {}});
  return m_fonts.size() - 1;
}

QByteArray PdfDocument::imageName(const QImage& image) {
  auto known = std::find_if(m_images.begin(), m_images.end(),
                            [&image](const auto& entry) { return entry.first == image.cacheKey(); });
  if (known == m_images.end()) known = m_images.insert(m_images.end(), {image.cacheKey(), PdfImage::of(image)});
  return resourceName("Im", std::size_t(known - m_images.begin()));
}

QByteArray PdfDocument::fillColour(const QColor& colour) {
  QByteArray operators;
  if (colour.alpha() < 255) {
    m_opacities.insert(colour.alpha());
    operators = "/A" + QByteArray::number(colour.alpha()) + " gs ";
  }
  return operators + colourOperands(colour) + " rg\n";
}

QByteArray PdfDocument::toPdf() const {
  PdfObjects objects;
  const int catalog = objects.reserve();
  const int pages = objects.reserve();
  const int info = objects.reserve();
  QByteArray resources = "<< /Font <<";
  for (std::size_t i = 0; i < m_fonts.size(); ++i) {
    resources += " /" + resourceName("F", i) + ' ' +
                 PdfObjects::reference(writeFont(objects, *m_fonts[i].font,
                                                 *PdfFontProgram::covering(m_fonts[i].font, m_fonts[i].glyphs)));
  }
  resources += " >> /XObject <<";
  for (std::size_t i = 0; i < m_images.size(); ++i) {
    resources += " /" + resourceName("Im", i) + ' ' + PdfObjects::reference(writeImage(objects, *m_images[i].second));
  }
  resources += " >> /ExtGState <<";
  for (const int alpha : m_opacities)
    resources += " /A" + QByteArray::number(alpha) + " << /ca " + pdfNumber(alpha / 255.0) + " >>";
  resources += " >> >>";
  const QByteArray mediaBox =
      "[0 0 " + pdfNumber(m_paper.width() / kTwipsPerPoint) + ' ' + pdfNumber(m_paper.height() / kTwipsPerPoint) + ']';
  QByteArray kids;
  for (const QByteArray& page : m_pages) {
    const int pageObject = objects.reserve();
    const int contents = objects.reserve();
    objects.writeStream(contents, "/Filter /FlateDecode", pdfFlate(page, FlateEffort::Fast));
    objects.write(pageObject, "<< /Type /Page /Parent " + PdfObjects::reference(pages) + " /MediaBox " + mediaBox +
                                  " /Resources " + resources + " /Contents " + PdfObjects::reference(contents) + " >>");
    kids += PdfObjects::reference(pageObject) + ' ';
  }
  objects.write(pages,
                "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(qsizetype(m_pages.size())) + " >>");
  objects.write(catalog, "<< /Type /Catalog /Pages " + PdfObjects::reference(pages) + " >>");
  const QByteArray now = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1();
  objects.write(info, "<< /Title " + textString(m_title) + " /Creator " + textString(m_creator) + " /Producer " +
                          textString(m_creator) + " /CreationDate (D:" + now + "Z) >>");
  return objects.finish(catalog, info);
}

}  // namespace corvex
