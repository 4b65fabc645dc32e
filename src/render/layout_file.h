#pragma once

#include "base/app_folder.h"
#include "base/error.h"
#include "render/layout.h"

#include <QByteArray>
#include <QString>

namespace corvex {

/// Reads a layout from the JSON text of a layout file. `origin` names the
/// file in errors. Every problem (bad JSON, a missing band, an unknown key or
/// control kind, a duplicate name, a field without column, an unsupported
/// format, a bad colour ...) raises Error(kInvalidFileFormat) whose
/// description names the file, the control and the problem.
Layout parseLayout(const QByteArray& json, const QString& origin);

/// The layout `name`: the file "layouts/<name>.json" in the Application
/// folder when it exists, so a company can change captions or move controls
/// without a rebuild, else the one built into the program. The file's "name"
/// must be `name`. Raises as parseLayout() for a broken file, 53 "File not
/// found" for a name that has neither, 75 when the file cannot be read.
Layout loadLayout(const QString& name, const AppFolder& folder);

}  // namespace corvex
