#pragma once

#include "render/data_rows.h"
#include "render/layout.h"

#include <QString>
#include <QVariant>

#include <cstddef>

namespace corvex {

/// What a flowing layout reads of a tax document: its values by dotted path
/// ("emisor.direccion.municipio"), a code as the name its catalogue gives it,
/// and its lists ("cuerpoDocumento", "resumen.pagos") element by element. A
/// path the document lacks, or holds null at, reads as NULL, a list it lacks
/// as empty.
class DocumentValues {
 public:
  virtual ~DocumentValues() = default;
  virtual QVariant value(const QString& path) const = 0;
  /// Whether `path` holds a value, an object or a list with elements.
  virtual bool present(const QString& path) const = 0;
  virtual std::size_t count(const QString& list) const = 0;
  /// `path` inside element `index` of `list`.
  virtual QVariant value(const QString& list, std::size_t index, const QString& path) const = 0;
};

/// The rows `layout` prints of `document`: one document row holding every
/// column its page header and footer, its captions and its sections printed
/// once read, and each section's "when" column (true when present(), else
/// NULL); and for every list section the rows of its list with the columns
/// that section's fields read.
ReportData reportData(const Layout& layout, const DocumentValues& document);

}  // namespace corvex
