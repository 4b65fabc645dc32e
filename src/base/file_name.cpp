#include "base/file_name.h"

#include "base/error.h"

#include <QRegularExpression>

#include <algorithm>

namespace corvex {

namespace {

bool isForbidden(QChar c) {
  return c.unicode() < 0x20 || c.unicode() == 0x7F || QStringLiteral("/\\<>:\"|?*").contains(c);
}

}  // namespace

void requirePlainFileName(const QString& name, const QString& what) {
  const bool plain = !name.isEmpty() && name != QStringLiteral(".") && name != QStringLiteral("..") &&
                     std::none_of(name.begin(), name.end(), isForbidden);
  if (!plain)
    throw Error(kBadFileName,
                QStringLiteral("%1 \"%2\" is not a plain file name; no file was written for it.")
                    .arg(what, QString(name).replace(QRegularExpression(QStringLiteral("[\\x00-\\x1f\\x7f]")),
                                                     QStringLiteral("?"))));
}

}  // namespace corvex
