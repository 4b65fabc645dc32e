#include "mail/mime_writer.h"

#include <QFileInfo>

#include <algorithm>

namespace corvex::mime {

namespace {

// 39 bytes make 52 base64 characters; with "=?UTF-8?B?" and "?=" an encoded
// word of 64 characters fits after "Subject: " within the 76 characters RFC
// 2047 allows a line that holds one.
constexpr qsizetype kEncodedWordBytes = 39;
// A display name up to this long stays a readable quoted string.
constexpr qsizetype kLongestQuotedName = 45;
// RFC 5322: a header line should not run past 78 characters.
constexpr qsizetype kFoldAt = 78;
constexpr qsizetype kBase64LineLength = 76;
constexpr qsizetype kLongestPlainHeader = 900;
// RFC 2045: at most 76 characters on an encoded line, the soft break's "=" included.
constexpr qsizetype kQuotedLineLength = 76;
// RFC 5321: a line of text, without its CR LF.
constexpr qsizetype kLongestSmtpLine = 998;

bool isPlainAscii(const QString& text) {
  return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F; });
}

bool travelsAsItIs(const QByteArray& text) {
  qsizetype lineStart = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      if (i - lineStart > kLongestSmtpLine) return false;
      lineStart = i + 2;
      ++i;
    } else if (byte > 126 || (byte < 32 && byte != '\t')) {
      return false;
    }
  }
  return text.size() - lineStart <= kLongestSmtpLine;
}

// A byte as it stands in quoted-printable; `beforeBreak` for the last byte
// of a line, where a blank would be lost.
QByteArray quotedByte(unsigned char byte, bool beforeBreak) {
  const bool literal = byte >= 33 && byte <= 126 && byte != '=';
  const bool blank = (byte == ' ' || byte == '\t') && !beforeBreak;
  if (literal || blank) return QByteArray(1, char(byte));
  return '=' + QByteArray::number(byte, 16).toUpper().rightJustified(2, '0');
}

// Where the next encoded word must end so no UTF-8 sequence is cut in two.
qsizetype wordEnd(const QByteArray& utf8, qsizetype start) {
  qsizetype end = std::min(start + kEncodedWordBytes, utf8.size());
  while (end < utf8.size() && end > start && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) --end;
  return end;
}

// Breaks `line` before its blanks, from `firstBreak` on, wherever it would
// run past kFoldAt; a word longer than that stays whole on its own line.
QByteArray foldLine(const QByteArray& line, qsizetype firstBreak) {
  QByteArray out;
  qsizetype lineStart = 0;
  qsizetype lastBlank = -1;
  for (qsizetype i = 0; i < line.size(); ++i) {
    if ((line[i] == ' ' || line[i] == '\t') && i >= firstBreak) lastBlank = out.size();
    out += line[i];
    if (out.size() - lineStart > kFoldAt && lastBlank > lineStart) {
      out.insert(lastBlank, "\r\n");
      lineStart = lastBlank + 2;
      lastBlank = -1;
    }
  }
  return out;
}

}  // namespace

QByteArray headerField(const QByteArray& name, const QByteArray& value) {
  const QByteArray field = name + ": " + value;
  QByteArray out;
  qsizetype start = 0;
  // Lines already folded (between encoded words, addresses) fold on their own.
  for (qsizetype end = field.indexOf("\r\n"); start <= field.size(); end = field.indexOf("\r\n", start)) {
    if (end < 0) end = field.size();
    if (start > 0) out += "\r\n";
    out += foldLine(field.mid(start, end - start), start == 0 ? name.size() + 2 : 1);
    start = end + 2;
  }
  return out + "\r\n";
}

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
                        !name.contains(QStringLiteral("=?")) && name.size() <= kLongestQuotedName;
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

QByteArray quotedPrintable(const QByteArray& data) {
  QByteArray encoded;
  qsizetype lineLength = 0;
  for (qsizetype i = 0; i < data.size(); ++i) {
    if (data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n') {
      encoded += "\r\n";
      lineLength = 0;
      ++i;
      continue;
    }
    const bool beforeBreak = i + 1 == data.size() || data.mid(i + 1, 2) == "\r\n";
    const QByteArray piece = quotedByte(static_cast<unsigned char>(data[i]), beforeBreak);
    // A soft break must leave room for its own "=".
    if (lineLength + piece.size() > kQuotedLineLength - 1) {
      encoded += "=\r\n";
      lineLength = 0;
    }
    encoded += piece;
    lineLength += piece.size();
  }
  return encoded;
}

QByteArray textPart(const QByteArray& utf8) {
  const bool plain = travelsAsItIs(utf8);
  return QByteArrayLiteral("Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: ") +
         (plain ? "7bit" : "quoted-printable") + "\r\n\r\n" + (plain ? utf8 : quotedPrintable(utf8)) + "\r\n";
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
