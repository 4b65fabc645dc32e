#pragma once

#include <QByteArray>
#include <QHash>
#include <QRawFont>
#include <QRect>

#include <memory>
#include <set>
#include <vector>

namespace corvex {

/// A TrueType font program as a PDF embeds it: read once per process from the
/// tables of a font the text layout chose, then shared by every PDF that
/// prints with it, on any thread. Glyph ids are the font's own everywhere.
class TrueTypeFont {
 public:
  /// The font behind `font`, or nullptr when its outlines are not TrueType
  /// ones (a CFF font) or its tables cannot be read: such text is drawn as
  /// outlines instead.
  static std::shared_ptr<const TrueTypeFont> of(const QRawFont& font);

  /// The font's PostScript name, or its family name without spaces.
  const QByteArray& postScriptName() const { return m_postScriptName; }
  int unitsPerEm() const { return m_unitsPerEm; }
  /// Font units, y up.
  const QRect& boundingBox() const { return m_boundingBox; }
  int ascent() const { return m_ascent; }
  int descent() const { return m_descent; }
  int capHeight() const { return m_capHeight; }
  double italicAngle() const { return m_italicAngle; }

  /// The glyph's advance in font units.
  int advance(quint16 glyph) const;
  /// The lowest code point the font's character map gives `glyph`, 0 for
  /// none (a ligature, a glyph only shaping reaches).
  char32_t codePoint(quint16 glyph) const { return m_codePoints.value(glyph, 0); }
  /// The glyph the character map gives `code`, 0 (the missing glyph) for none.
  quint16 glyph(char32_t code) const { return m_glyphs.value(code, 0); }

  /// A complete font file with the outlines of `glyphs`, of glyph 0 and of
  /// every glyph a composite one among them is built from; every other
  /// glyph is kept empty, so ids do not change.
  QByteArray subset(const std::set<quint16>& glyphs) const;

 private:
  bool read(const QRawFont& font);
  bool readGlyphLocations();
  void readMetrics(const QByteArray& os2, const QByteArray& post);
  void readCharacterMap(const QByteArray& cmap);
  QByteArray glyphData(quint16 glyph) const;
  std::set<quint16> withComponents(const std::set<quint16>& glyphs) const;

  QHash<QByteArray, QByteArray> m_tables;
  std::vector<quint32> m_glyphOffsets;  ///< numGlyphs + 1 offsets into glyf
  std::vector<quint16> m_advances;
  QHash<quint16, char32_t> m_codePoints;
  QHash<char32_t, quint16> m_glyphs;
  QByteArray m_postScriptName;
  int m_unitsPerEm = 1000;
  QRect m_boundingBox;
  int m_ascent = 0;
  int m_descent = 0;
  int m_capHeight = 0;
  double m_italicAngle = 0;
};

}  // namespace corvex
