#pragma once

#include "base/app_folder.h"

#include <QString>

namespace corvex {

/// The two scratch files of one pending document, below the Application
/// folder's "files" folder, both named after its `IdDocumento`.
struct DocumentFiles {
  QString json;
  QString pdf;
};

/// Raises Error 13, with a description naming the value, unless
/// `idDocumento` is a plain file name on Windows and Linux alike: not empty,
/// not "." or "..", no path separator ('/' or '\'), no control character,
/// none of the characters Windows forbids (< > : " | ? *) and not one of
/// Windows' reserved device names (CON, NUL, COM1, ...). The name comes from
/// the database and must never lead a file outside the "files" folder.
void checkDocumentFileName(const QString& idDocumento);

/// The JSON and PDF paths of the document; checks the name first (above).
DocumentFiles documentFiles(const AppFolder& folder, const QString& idDocumento);

}  // namespace corvex
