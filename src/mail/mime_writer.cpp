#include "mail/mime_writer.h"

#include <QFileInfo>

#include <algorithm>

namespace corvex::mime {

namespace {

// 45 bytes make 60 base64 characters; with "=?UTF-8?B?" and "?=" an encoded
// word stays within the 75 characters RFC 2047 allows.
constexpr qsizetype kEncodedWordBytes = 45;
constexpr qsizetype kBase64LineLength = 76;
constexpr qsizetype kLongestPlainHeader = 900;

bool isPlainAscii(const QString& text) {
  return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F; });
}

// Where the next encoded word must end so no UTF-8 sequence is cut in two.
qsizetype wordEnd(const QByteArray& utf8, qsizetype start) {
  qsizetype end = std::min(start + kEncodedWordBytes, utf8.size());
  while (end < utf8.size() && end > start && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) --end;
  return end;
}

}  // namespace

QByteArray headerText(const QString& text) {
  if (isPlainAscii(text) && !text.contains(QStringLiteral("=?")) && text.size() <= kLongestPlainHeader)
    return text.toLatin1();
  return encodedWords(text);
}

QByteArray encodedWords(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  QByteArray encoded;
  for (qsizetype start = 0; start < utf8.size();) {
    const qsizetype end = wordEnd(utf8, start);
    if (!encoded.isEmpty()) encoded += "\r\n ";
    encoded += "=?UTF-8?B?" + utf8.mid(start, end - start).toBase64() + "?=";
    start = end;
  }
  return encoded;
}

QByteArray phrase(const QString& name) {
  const bool quotable = isPlainAscii(name) && !name.contains(u'"') && !name.contains(u'\\') &&
                        !name.contains(QStringLiteral("=?")) && name.size() <= kEncodedWordBytes;
  if (quotable) return '"' + name.toLatin1() + '"';
  return encodedWords(name);
}

QByteArray base64Lines(const QByteArray& data) {
  const QByteArray encoded = data.toBase64();
  QByteArray lines;
  lines.reserve(encoded.size() + encoded.size() / kBase64LineLength * 2 + 2);
  for (qsizetype start = 0; start < encoded.size(); start += kBase64LineLength)
    lines += encoded.mid(start, kBase64LineLength) + "\r\n";
  return lines;
}

QByteArray contentTypeFor(const QString& fileName) {
  const QString suffix = QFileInfo(fileName).suffix().toLower();
  if (suffix == QStringLiteral("json")) return "application/json";
  if (suffix == QStringLiteral("pdf")) return "application/pdf";
  return "application/octet-stream";
}

QByteArray parameter(const QByteArray& name, const QString& value) {
  const bool quotable = isPlainAscii(value) && !value.contains(u'"') && !value.contains(u'\\');
  if (quotable) return name + "=\"" + value.toLatin1() + '"';
  return name + "*=UTF-8''" + value.toUtf8().toPercentEncoding();
}

}  // namespace corvex::mime
