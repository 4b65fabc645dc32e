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

/// The JSON and PDF paths of the document. Raises what requirePlainFileName()
/// raises for an id that could lead a file outside "files".
DocumentFiles documentFiles(const AppFolder& folder, const QString& idDocumento);

}  // namespace corvex
