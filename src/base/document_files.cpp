#include "base/document_files.h"

#include "base/file_name.h"

namespace corvex {

DocumentFiles documentFiles(const AppFolder& folder, const QString& idDocumento) {
  requirePlainFileName(idDocumento, QStringLiteral("IdDocumento"));
  const QString base = QStringLiteral("files/") + idDocumento;
  return {folder.path(base + QStringLiteral(".json")), folder.path(base + QStringLiteral(".pdf"))};
}

}  // namespace corvex
