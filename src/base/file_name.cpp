#include "base/file_name.h"

#include <QRegularExpression>

#include <algorithm>

namespace corvex {

namespace {

bool isForbiddenCharacter(QChar c) {
  return c.category() == QChar::Other_Control || QStringLiteral("/\\<>:\"|?*").contains(c);
}

// Windows opens a device instead of a file for these names, also with any
// extension ("NUL.x", "COM1.json") and with blanks or dots after the name,
// which it drops; COM and LPT count with the superscript digits too.
bool isReservedDeviceName(const QString& name) {
  static const QRegularExpression reserved(
      QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9\u00B9\u00B2\u00B3]|LPT[1-9\u00B9\u00B2\u00B3]|CONIN\\$|CONOUT\\$)"
                     " *(\\..*)?$"),
      QRegularExpression::CaseInsensitiveOption);
  return reserved.match(name).hasMatch();
}

// The name as a log line can carry it: control characters would break the line.
QString printable(QString name) {
  for (QChar& c : name) {
    if (c.category() == QChar::Other_Control) c = QChar::ReplacementCharacter;
  }
  return name;
}

QString refusal(const QString& name) {
  if (name.isEmpty()) return QStringLiteral("it is empty");
  if (name == QStringLiteral(".") || name == QStringLiteral("..")) return QStringLiteral("it names a folder");
  if (std::any_of(name.begin(), name.end(), isForbiddenCharacter))
    return QStringLiteral("it holds a path separator, a control character or one of < > : \" | ? *");
  if (isReservedDeviceName(name)) return QStringLiteral("it is a reserved device name");
  return {};
}

}  // namespace

void requirePlainFileName(const QString& name, const QString& what) {
  const QString reason = refusal(name);
  if (!reason.isEmpty())
    throw BadFileNameError(QStringLiteral("%1 \"%2\" cannot name a file: %3.").arg(what, printable(name), reason));
}

}  // namespace corvex
