#pragma once

#include <QJsonObject>
#include <QString>

#include <functional>

namespace corvex {

/// A file of parts that layouts share: {"name": NAME, "parts": {PART: band
/// or section, or a list of sections}}. `path` names it in errors.
struct PartsFile {
  QString path;
  QJsonObject object;
};

/// Reads the parts file of the given name; raises as loadLayout() does.
using PartsReader = std::function<PartsFile(const QString& name)>;

/// The JSON of a layout file with its shared parts put in. A layout that
/// names a parts file ("parts": NAME) may write {"use": PART} for its page
/// header or footer, for a section of its "Body" (a part that is a list of
/// sections puts in all of them) or for a section's caption; every other
/// value is left as it is. A layout without "parts" comes back unchanged.
/// Raises Error(kInvalidFileFormat) naming `origin` for a part the file does
/// not hold, a "use" without "parts", or a parts file of another name.
QJsonObject withParts(const QJsonObject& layout, const QString& origin, const PartsReader& readParts);

}  // namespace corvex
