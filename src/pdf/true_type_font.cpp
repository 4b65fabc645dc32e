#include "pdf/true_type_font.h"

#include <QMutex>
#include <QMutexLocker>
#include <QtEndian>

#include <array>
#include <map>

namespace corvex {

namespace {

// What a PDF reader needs of a TrueType program to draw its glyphs; the
// hinting programs ride along so that small print looks as the font's
// maker meant.
constexpr std::array kEmbeddedTables = {"cvt ", "fpgm", "glyf", "head", "hhea", "hmtx", "loca", "maxp", "prep"};
constexpr std::array kRequiredTables = {"glyf", "head", "hhea", "hmtx", "loca", "maxp"};

// Where each field sits in its table, in bytes from the table's start.
constexpr int kHeadCheckSumAdjustment = 8;
constexpr int kHeadUnitsPerEm = 18;
constexpr int kHeadBoundingBox = 36;
constexpr int kHeadIndexToLocFormat = 50;
constexpr int kHheaAscender = 4;
constexpr int kHheaDescender = 6;
constexpr int kHheaNumberOfHMetrics = 34;
constexpr int kMaxpNumGlyphs = 4;
constexpr int kOs2CapHeight = 88;
constexpr int kPostItalicAngle = 4;
constexpr quint32 kCheckSumMagic = 0xB1B0AFBA;

// Code points a character map may list; a broken map cannot make us loop
// for long, as no map is walked for more than this many.
constexpr quint32 kLastCodePoint = 0x10FFFF;

struct Malformed {};

quint8 byteAt(const QByteArray& data, qsizetype at) { return quint8(data.at(at)); }

quint16 u16(const QByteArray& data, qsizetype at) {
  if (at < 0 || at + 2 > data.size()) throw Malformed{};
  return quint16(byteAt(data, at) << 8 | byteAt(data, at + 1));
}

qint16 s16(const QByteArray& data, qsizetype at) { return qint16(u16(data, at)); }

quint32 u32(const QByteArray& data, qsizetype at) {
  if (at < 0 || at + 4 > data.size()) throw Malformed{};
  return quint32(u16(data, at)) << 16 | u16(data, at + 2);
}

void put16(QByteArray& data, quint16 value) {
  char bytes[2];
  qToBigEndian(value, bytes);
  data.append(bytes, 2);
}

void put32(QByteArray& data, quint32 value) {
  char bytes[4];
  qToBigEndian(value, bytes);
  data.append(bytes, 4);
}

quint32 checkSum(const QByteArray& data) {
  QByteArray padded = data;
  padded.append((4 - padded.size() % 4) % 4, '\0');
  quint32 sum = 0;
  for (qsizetype at = 0; at < padded.size(); at += 4) sum += qFromBigEndian<quint32>(padded.constData() + at);
  return sum;
}

// The sfnt file around `tables` (tag -> data, in tag order), each table
// four-byte aligned, with head's whole-file check sum set.
QByteArray fontFile(const std::map<QByteArray, QByteArray>& tables) {
  const auto count = quint16(tables.size());
  quint16 power = 1;
  quint16 log2 = 0;
  while (power * 2 <= count) {
    power = quint16(power * 2);
    ++log2;
  }
  QByteArray file;
  put32(file, 0x00010000);
  put16(file, count);
  put16(file, quint16(power * 16));
  put16(file, log2);
  put16(file, quint16(count * 16 - power * 16));
  quint32 offset = quint32(12 + 16 * count);
  qsizetype headAt = -1;
  for (const auto& [tag, data] : tables) {
    file.append(tag);
    put32(file, checkSum(data));
    put32(file, offset);
    put32(file, quint32(data.size()));
    if (tag == "head") headAt = offset;
    offset += quint32((data.size() + 3) / 4 * 4);
  }
  for (const auto& table : tables) {
    file.append(table.second);
    file.append((4 - table.second.size() % 4) % 4, '\0');
  }
  if (headAt >= 0)
    qToBigEndian(quint32(kCheckSumMagic - checkSum(file)), file.data() + headAt + kHeadCheckSumAdjustment);
  return file;
}

// Name record 6 (the PostScript name), from the Windows or the Macintosh platform.
QByteArray postScriptNameOf(const QByteArray& name) {
  const quint16 count = u16(name, 2);
  const quint16 storage = u16(name, 4);
  for (quint16 i = 0; i < count; ++i) {
    const qsizetype record = 6 + 12 * qsizetype(i);
    const quint16 platform = u16(name, record);
    if (u16(name, record + 6) != 6) continue;
    const quint16 length = u16(name, record + 8);
    const QByteArray text = name.mid(storage + u16(name, record + 10), length);
    if (platform == 1) return text;
    if (platform == 3) {
      QByteArray ascii;
      for (qsizetype at = 1; at < text.size(); at += 2) ascii.append(text.at(at));
      return ascii;
    }
  }
  return {};
}

// Letters and digits only: the name goes into the PDF as a name object.
QByteArray cleanName(const QByteArray& name) {
  QByteArray clean;
  for (const char c : name) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_')
      clean.append(c);
  }
  return clean.isEmpty() ? QByteArrayLiteral("Font") : clean;
}

}  // namespace

std::shared_ptr<const TrueTypeFont> TrueTypeFont::of(const QRawFont& font) {
  if (!font.isValid()) return nullptr;
  static QMutex mutex;
  static QHash<QString, std::shared_ptr<const TrueTypeFont>> fonts;
  const QString key = font.familyName() + QLatin1Char('|') + font.styleName() + QLatin1Char('|') +
                      QString::number(font.weight()) + QLatin1Char('|') + QString::number(int(font.style()));
  const QMutexLocker lock(&mutex);
  // Looked up before any table is read: each reading of a table reads the
  // font file again, for every glyph run.
  const auto known = fonts.constFind(key);
  if (known != fonts.constEnd()) return *known;
  // Text that no font file stands behind (Qt's box engine, when no font at
  // all is found) has no tables, and no family name either, so its key is
  // never a real font's; it is not kept.
  if (font.fontTable("head").isEmpty()) return nullptr;
  auto loaded = std::make_shared<TrueTypeFont>();
  std::shared_ptr<const TrueTypeFont> shared;
  if (loaded->read(font)) shared = std::move(loaded);
  fonts.insert(key, shared);
  return shared;
}

bool TrueTypeFont::read(const QRawFont& font) {
  for (const char* tag : kEmbeddedTables) {
    const QByteArray data = font.fontTable(tag);
    if (!data.isEmpty()) m_tables.insert(tag, data);
  }
  for (const char* tag : kRequiredTables) {
    if (!m_tables.contains(tag)) return false;
  }
  try {
    if (!readGlyphLocations()) return false;
    readMetrics(font.fontTable("OS/2"), font.fontTable("post"));
    readCharacterMap(font.fontTable("cmap"));
    m_postScriptName = cleanName(postScriptNameOf(font.fontTable("name")));
  } catch (const Malformed&) {
    return false;
  }
  if (m_postScriptName == "Font") m_postScriptName = cleanName(font.familyName().toLatin1());
  return true;
}

bool TrueTypeFont::readGlyphLocations() {
  const QByteArray& head = m_tables["head"];
  const QByteArray& loca = m_tables["loca"];
  const quint16 glyphs = u16(m_tables["maxp"], kMaxpNumGlyphs);
  const bool longOffsets = s16(head, kHeadIndexToLocFormat) == 1;
  m_glyphOffsets.resize(std::size_t(glyphs) + 1);
  for (quint32 i = 0; i <= glyphs; ++i)
    m_glyphOffsets[i] = longOffsets ? u32(loca, 4 * qsizetype(i)) : quint32(u16(loca, 2 * qsizetype(i))) * 2;
  for (quint32 i = 0; i < glyphs; ++i) {
    if (m_glyphOffsets[i] > m_glyphOffsets[i + 1] || m_glyphOffsets[i + 1] > quint32(m_tables["glyf"].size()))
      return false;
  }
  return glyphs > 0;
}

void TrueTypeFont::readMetrics(const QByteArray& os2, const QByteArray& post) {
  const QByteArray& head = m_tables["head"];
  const QByteArray& hhea = m_tables["hhea"];
  m_unitsPerEm = qMax(16, int(u16(head, kHeadUnitsPerEm)));
  m_boundingBox = QRect(QPoint(s16(head, kHeadBoundingBox), s16(head, kHeadBoundingBox + 2)),
                        QPoint(s16(head, kHeadBoundingBox + 4), s16(head, kHeadBoundingBox + 6)));
  m_ascent = s16(hhea, kHheaAscender);
  m_descent = s16(hhea, kHheaDescender);
  m_capHeight = m_ascent;
  if (os2.size() >= kOs2CapHeight + 2 && u16(os2, 0) >= 2) m_capHeight = s16(os2, kOs2CapHeight);
  if (post.size() >= kPostItalicAngle + 4) m_italicAngle = qint32(u32(post, kPostItalicAngle)) / 65536.0;
  const QByteArray& hmtx = m_tables["hmtx"];
  const quint16 metrics = u16(hhea, kHheaNumberOfHMetrics);
  m_advances.resize(metrics);
  for (quint16 i = 0; i < metrics; ++i) m_advances[i] = u16(hmtx, 4 * qsizetype(i));
}

int TrueTypeFont::advance(quint16 glyph) const {
  // Glyphs past the last metric share its advance (monospaced tails).
  if (m_advances.empty()) return 0;
  return m_advances[std::min<std::size_t>(glyph, m_advances.size() - 1)];
}

// Prefers the full-repertoire map (format 12) to the 16-bit one (format 4);
// Windows Unicode maps first, then Unicode platform ones.
void TrueTypeFont::readCharacterMap(const QByteArray& cmap) {
  if (cmap.isEmpty()) return;
  const quint16 count = u16(cmap, 2);
  qsizetype best = -1;
  int bestRank = 0;
  for (quint16 i = 0; i < count; ++i) {
    const qsizetype record = 4 + 8 * qsizetype(i);
    const quint16 platform = u16(cmap, record);
    const quint16 encoding = u16(cmap, record + 2);
    const qsizetype at = u32(cmap, record + 4);
    const quint16 format = u16(cmap, at);
    const bool unicode = platform == 0 || (platform == 3 && (encoding == 1 || encoding == 10));
    const int rank = !unicode ? 0 : format == 12 ? 3 : format == 4 ? (platform == 3 ? 2 : 1) : 0;
    if (rank > bestRank) {
      bestRank = rank;
      best = at;
    }
  }
  if (best < 0) return;
  const auto map = [this](char32_t code, quint32 glyph) {
    if (glyph == 0 || glyph > 0xFFFF) return;
    m_glyphs.insert(code, quint16(glyph));
    if (!m_codePoints.contains(quint16(glyph))) m_codePoints.insert(quint16(glyph), code);
  };
  if (u16(cmap, best) == 12) {
    const quint32 groups = u32(cmap, best + 12);
    quint32 budget = kLastCodePoint + 1;
    for (quint32 g = 0; g < groups && budget > 0; ++g) {
      const qsizetype group = best + 16 + 12 * qsizetype(g);
      const quint32 first = u32(cmap, group);
      const quint32 last = std::min(u32(cmap, group + 4), kLastCodePoint);
      const quint32 glyph = u32(cmap, group + 8);
      for (quint32 code = first; code <= last && budget > 0; ++code, --budget) map(code, glyph + (code - first));
    }
    return;
  }
  const int segments = u16(cmap, best + 6) / 2;
  const qsizetype ends = best + 14;
  const qsizetype starts = ends + 2 * segments + 2;
  const qsizetype deltas = starts + 2 * segments;
  const qsizetype rangeOffsets = deltas + 2 * segments;
  for (int s = 0; s < segments; ++s) {
    const quint16 first = u16(cmap, starts + 2 * s);
    const quint16 last = u16(cmap, ends + 2 * s);
    const quint16 delta = u16(cmap, deltas + 2 * s);
    const qsizetype rangeAt = rangeOffsets + 2 * s;
    const quint16 rangeOffset = u16(cmap, rangeAt);
    for (quint32 code = first; code <= last && code < 0xFFFF; ++code) {
      quint16 glyph = rangeOffset == 0 ? quint16(code + delta) : u16(cmap, rangeAt + rangeOffset + 2 * (code - first));
      if (rangeOffset != 0 && glyph != 0) glyph = quint16(glyph + delta);
      map(char32_t(code), glyph);
    }
  }
}

QByteArray TrueTypeFont::glyphData(quint16 glyph) const {
  if (glyph + 1u >= m_glyphOffsets.size()) return {};
  const quint32 from = m_glyphOffsets[glyph];
  return m_tables.value("glyf").mid(from, m_glyphOffsets[glyph + 1] - from);
}

// A composite glyph lists the glyphs it is built from; those may be
// composite in turn.
std::set<quint16> TrueTypeFont::withComponents(const std::set<quint16>& glyphs) const {
  constexpr quint16 kArgsAreWords = 0x0001;
  constexpr quint16 kHaveScale = 0x0008;
  constexpr quint16 kMoreComponents = 0x0020;
  constexpr quint16 kHaveXYScale = 0x0040;
  constexpr quint16 kHaveTwoByTwo = 0x0080;
  std::set<quint16> all;
  std::vector<quint16> waiting(glyphs.begin(), glyphs.end());
  waiting.push_back(0);
  while (!waiting.empty()) {
    const quint16 glyph = waiting.back();
    waiting.pop_back();
    if (!all.insert(glyph).second) continue;
    const QByteArray data = glyphData(glyph);
    if (data.size() < 10 || s16(data, 0) >= 0) continue;
    quint16 flags = kMoreComponents;
    for (qsizetype at = 10; flags & kMoreComponents;) {
      flags = u16(data, at);
      const quint16 component = u16(data, at + 2);
      if (!all.count(component)) waiting.push_back(component);
      at += 4 + ((flags & kArgsAreWords) ? 4 : 2);
      at += (flags & kHaveScale) ? 2 : (flags & kHaveXYScale) ? 4 : (flags & kHaveTwoByTwo) ? 8 : 0;
    }
  }
  return all;
}

QByteArray TrueTypeFont::subset(const std::set<quint16>& glyphs) const {
  std::set<quint16> kept;
  try {
    kept = withComponents(glyphs);
  } catch (const Malformed&) {
    kept = glyphs;
    kept.insert(0);
  }
  QByteArray glyf;
  QByteArray loca;
  const auto count = quint32(m_glyphOffsets.size() - 1);
  for (quint32 glyph = 0; glyph < count; ++glyph) {
    put32(loca, quint32(glyf.size()));
    if (!kept.count(quint16(glyph))) continue;
    glyf.append(glyphData(quint16(glyph)));
    glyf.append((4 - glyf.size() % 4) % 4, '\0');
  }
  put32(loca, quint32(glyf.size()));
  QByteArray head = m_tables.value("head");
  qToBigEndian(quint32(0), head.data() + kHeadCheckSumAdjustment);
  qToBigEndian(quint16(1), head.data() + kHeadIndexToLocFormat);
  std::map<QByteArray, QByteArray> tables;
  for (auto table = m_tables.constBegin(); table != m_tables.constEnd(); ++table) tables[table.key()] = table.value();
  tables["glyf"] = glyf;
  tables["loca"] = loca;
  tables["head"] = head;
  return fontFile(tables);
}

}  // namespace corvex
