#include "mail/mail_address.h"

#include <QRegularExpression>

#include <algorithm>

namespace corvex {

namespace {

bool isPlainAddressCharacter(QChar c) {
  return c.unicode() > 0x20 && c.unicode() < 0x7F && c != u'<' && c != u'>' && c != u'"' && c != u'(' && c != u')' &&
         c != u'\\';
}

// The reason goes into a log line, so line breaks in it are shown, not kept.
QString printable(const QString& address) {
  QString shown = address;
  shown.replace(u'\r', QStringLiteral("\\r")).replace(u'\n', QStringLiteral("\\n"));
  return shown;
}

// Only blanks are trimmed: a line break anywhere must still refuse the address.
QString trimBlanks(const QString& text) {
  static const QRegularExpression outerBlanks(QStringLiteral("^[ \\t]+|[ \\t]+$"));
  return QString(text).remove(outerBlanks);
}

}  // namespace

QStringList splitAddresses(const QString& text) {
  static const QRegularExpression separators(QStringLiteral("[;,]"));
  QStringList addresses;
  for (const QString& piece : text.split(separators)) {
    const QString address = trimBlanks(piece);
    if (!address.isEmpty()) addresses << address;
  }
  return addresses;
}

QString addressProblem(const QString& role, const QString& address) {
  const qsizetype at = address.lastIndexOf(u'@');
  const bool wellFormed =
      at > 0 && at < address.size() - 1 && std::all_of(address.begin(), address.end(), isPlainAddressCharacter);
  if (wellFormed) return {};
  return QStringLiteral("invalid %1 address \"%2\"").arg(role, printable(address));
}

Mailbox parseMailbox(const QString& text) {
  // The address is what stands in the last pair of angle brackets at the end.
  static const QRegularExpression named(QStringLiteral("^[ \\t]*(.*?)[ \\t]*<([^<>]*)>[ \\t]*$"));
  const QRegularExpressionMatch match = named.match(text);
  if (!match.hasMatch()) return Mailbox{QString(), trimBlanks(text)};
  QString name = match.captured(1);
  if (name.size() >= 2 && name.startsWith(u'"') && name.endsWith(u'"')) name = name.mid(1, name.size() - 2);
  return Mailbox{name, match.captured(2)};
}

}  // namespace corvex
