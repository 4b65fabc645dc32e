#include "pdf/pdf_font_program.h"

#include "pdf/pdf_objects.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <vector>

namespace corvex {

namespace {

// Entries per bfchar block: the most a CMap reader has to accept.
constexpr int kCMapBlock = 100;

// Latin-1 and the marks word processors put in business text: dashes,
// quotes, bullet, ellipsis, euro.
constexpr std::array<std::pair<char32_t, char32_t>, 6> kCommonRepertoire = {{
    {0x20, 0x7E},
    {0xA0, 0xFF},
    {0x2013, 0x2014},
    {0x2018, 0x201E},
    {0x2020, 0x2026},
    {0x20AC, 0x20AC},
}};

QByteArray utf16Hex(char32_t code) {
  if (code < 0x10000) return pdfHex16(code);
  const char32_t offset = code - 0x10000;
  return pdfHex16(0xD800 + (offset >> 10)) + pdfHex16(0xDC00 + (offset & 0x3FF));
}

// Six capitals from the font and its glyph set: the same subset gets the
// same tag, other subsets (of this font or another) in a reader's memory get
// other ones.
QByteArray subsetTag(const QByteArray& fontName, const std::set<quint16>& glyphs) {
  quint32 hash = 2166136261u;
  for (const char c : fontName) hash = (hash ^ quint8(c)) * 16777619u;
  for (const quint16 glyph : glyphs) hash = (hash ^ glyph) * 16777619u;
  QByteArray tag;
  for (int i = 0; i < 6; ++i, hash /= 26) tag += char('A' + hash % 26);
  return tag;
}

QByteArray widthArray(const TrueTypeFont& font, const std::set<quint16>& glyphs) {
  QByteArray array = "[";
  int previous = -2;
  for (const quint16 glyph : glyphs) {
    if (glyph != previous + 1) {
      if (previous >= 0) array += "] ";
      array += QByteArray::number(glyph) + " [";
    }
    array += QByteArray::number(pdfGlyphWidth(font, glyph)) + ' ';
    previous = glyph;
  }
  return array + (previous < 0 ? "]" : "] ]");
}

QByteArray toUnicodeMap(const TrueTypeFont& font, const std::set<quint16>& glyphs) {
  std::vector<QByteArray> entries;
  for (const quint16 glyph : glyphs) {
    if (const char32_t code = font.codePoint(glyph))
      entries.push_back('<' + pdfHex16(glyph) + "> <" + utf16Hex(code) + ">\n");
  }
  QByteArray map =
      "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
      "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
      "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
      "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
  for (std::size_t first = 0; first < entries.size(); first += kCMapBlock) {
    const std::size_t last = std::min(entries.size(), first + kCMapBlock);
    map += QByteArray::number(qsizetype(last - first)) + " beginbfchar\n";
    for (std::size_t i = first; i < last; ++i) map += entries[i];
    map += "endbfchar\n";
  }
  return map + "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
}

std::set<quint16> commonRepertoire(const TrueTypeFont& font) {
  std::set<quint16> glyphs;
  for (const auto& [first, last] : kCommonRepertoire) {
    for (char32_t code = first; code <= last; ++code) {
      if (const quint16 glyph = font.glyph(code)) glyphs.insert(glyph);
    }
  }
  return glyphs;
}

std::shared_ptr<const PdfFontProgram> build(const TrueTypeFont& font, const std::set<quint16>& glyphs) {
  auto program = std::make_shared<PdfFontProgram>();
  program->baseFont = '/' + subsetTag(font.postScriptName(), glyphs) + '+' + font.postScriptName();
  program->widths = widthArray(font, glyphs);
  const QByteArray file = font.subset(glyphs);
  program->fontFile = pdfFlate(file, FlateEffort::Small);
  program->fontFileLength = file.size();
  program->toUnicode = pdfFlate(toUnicodeMap(font, glyphs), FlateEffort::Small);
  return program;
}

struct Common {
  std::set<quint16> glyphs;
  std::shared_ptr<const PdfFontProgram> program;
};

}  // namespace

int pdfGlyphWidth(const TrueTypeFont& font, quint16 glyph) {
  return int(std::lround(font.advance(glyph) * 1000.0 / font.unitsPerEm()));
}

std::shared_ptr<const PdfFontProgram> PdfFontProgram::covering(const std::shared_ptr<const TrueTypeFont>& font,
                                                               const std::set<quint16>& used) {
  static QMutex mutex;
  // Fonts are kept for the life of the process (TrueTypeFont::of()), so
  // their addresses stay theirs.
  static QHash<const TrueTypeFont*, std::shared_ptr<const Common>> common;
  std::shared_ptr<const Common> repertoire;
  {
    const QMutexLocker lock(&mutex);
    std::shared_ptr<const Common>& known = common[font.get()];
    if (!known) {
      std::set<quint16> glyphs = commonRepertoire(*font);
      std::shared_ptr<const PdfFontProgram> program = build(*font, glyphs);
      known = std::make_shared<const Common>(Common{std::move(glyphs), std::move(program)});
    }
    repertoire = known;
  }
  if (std::includes(repertoire->glyphs.begin(), repertoire->glyphs.end(), used.begin(), used.end()))
    return repertoire->program;
  std::set<quint16> glyphs = repertoire->glyphs;
  glyphs.insert(used.begin(), used.end());
  return build(*font, glyphs);
}

}  // namespace corvex
