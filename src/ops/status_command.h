#pragma once

#include "base/app_folder.h"
#include "base/clock.h"

#include <QTextStream>

namespace corvex {

/// `corvex status [--json]`: what the program beside it is doing and whether
/// a person is needed (see StatusReport), as lines or as one JSON object, on
/// `out`. Takes no lock and changes nothing, so it works beside a running
/// service. Returns the exit status: 1 when a person is needed, else 0.
int showStatus(const AppFolder& folder, const Clock& clock, bool json, QTextStream& out);

}  // namespace corvex
