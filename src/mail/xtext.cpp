#include "mail/xtext.h"

namespace corvex {

QByteArray xtextEncoded(const QString& text) {
  QByteArray encoded;
  for (const char c : text.toUtf8()) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= '!' && byte <= '~' && byte != '+' && byte != '=')
      encoded += c;
    else
      encoded += '+' + QByteArray(1, c).toHex().toUpper();
  }
  return encoded;
}

namespace {

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

}  // namespace

QString xtextDecoded(const QByteArray& xtext) {
  QByteArray decoded;
  for (qsizetype i = 0; i < xtext.size(); ++i) {
    if (xtext[i] == '+' && i + 2 < xtext.size() && isHexDigit(xtext[i + 1]) && isHexDigit(xtext[i + 2])) {
      decoded += QByteArray::fromHex(xtext.mid(i + 1, 2));
      i += 2;
    } else {
      decoded += xtext[i];
    }
  }
  return QString::fromUtf8(decoded);
}

}  // namespace corvex
