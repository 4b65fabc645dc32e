#pragma once

#include "base/app_folder.h"

#include <QString>

namespace corvex {

/// The two scratch files of one document, below the Application folder's
/// "files" folder, both named after its `IdDocumento`: the signed JSON the
/// dispatch run writes and the PDF the renderer writes.
struct DocumentFiles {
  QString json;
  QString pdf;
};

/// The JSON and PDF paths of the document. Raises what requirePlainFileName()
/// raises for an id that could lead a file outside "files".
DocumentFiles documentFiles(const AppFolder& folder, const QString& idDocumento);

}  // namespace corvex
