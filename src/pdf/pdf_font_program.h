#pragma once

#include "pdf/true_type_font.h"

#include <QByteArray>

#include <memory>
#include <set>

namespace corvex {

/// What a PDF file embeds of one TrueType font: a subset program, its glyph
/// widths and the map from glyphs back to characters, ready to write.
///
/// Every subset holds at least the font's common repertoire (Latin-1 and the
/// usual typographic marks), which is built and compressed once per process:
/// a document in Spanish reuses it as it stands, so the fonts cost a run
/// nothing per PDF. A document printing other glyphs (a name in Greek) gets
/// a subset of the repertoire and those glyphs, built for it alone.
struct PdfFontProgram {
  /// "/" + a six-letter subset tag + "+" + the PostScript name.
  QByteArray baseFont;
  /// The /W array of the glyphs the subset holds, in thousandths of the size.
  QByteArray widths;
  /// The subset font file, deflated, and its length before.
  QByteArray fontFile;
  qsizetype fontFileLength = 0;
  /// The ToUnicode CMap, deflated.
  QByteArray toUnicode;

  /// The program of `font` holding every glyph of `used`; safe on any thread.
  static std::shared_ptr<const PdfFontProgram> covering(const std::shared_ptr<const TrueTypeFont>& font,
                                                        const std::set<quint16>& used);
};

/// The advance of `glyph` as a PDF width: thousandths of the font size.
int pdfGlyphWidth(const TrueTypeFont& font, quint16 glyph);

}  // namespace corvex
