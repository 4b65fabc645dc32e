#include "dispatch/document_files.h"

#include "base/error.h"

#include <QRegularExpression>

#include <algorithm>

namespace corvex {

namespace {

bool isForbiddenCharacter(QChar c) {
  return c.category() == QChar::Other_Control || QStringLiteral("/\\<>:\"|?*").contains(c);
}

// Windows opens a device instead of a file for these names, whatever the extension.
bool isReservedDeviceName(const QString& name) {
  static const QRegularExpression reserved(QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])$"),
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

QString refusal(const QString& idDocumento) {
  if (idDocumento.isEmpty()) return QStringLiteral("it is empty");
  if (idDocumento == QStringLiteral(".") || idDocumento == QStringLiteral(".."))
    return QStringLiteral("it names a folder");
  if (std::any_of(idDocumento.begin(), idDocumento.end(), isForbiddenCharacter))
    return QStringLiteral("it holds a path separator, a control character or one of < > : \" | ? *");
  if (isReservedDeviceName(idDocumento)) return QStringLiteral("it is a reserved device name");
  return {};
}

}  // namespace

void checkDocumentFileName(const QString& idDocumento) {
  const QString reason = refusal(idDocumento);
  if (!reason.isEmpty())
    throw Error(kTypeMismatch,
                QStringLiteral("IdDocumento \"%1\" cannot name a file: %2.").arg(printable(idDocumento), reason));
}

DocumentFiles documentFiles(const AppFolder& folder, const QString& idDocumento) {
  checkDocumentFileName(idDocumento);
  const QString base = QStringLiteral("files/") + idDocumento;
  return {folder.path(base + QStringLiteral(".json")), folder.path(base + QStringLiteral(".pdf"))};
}

}  // namespace corvex
