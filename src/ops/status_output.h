#pragma once

#include "ops/status_report.h"

#include <QJsonObject>
#include <QString>

namespace corvex {

/// The report as lines for a person: one line or block per subject (pending
/// documents, the program and its last run, sending, failing documents, the
/// journal, bounces, the bounce mailbox), then the verdict and its reasons.
QString statusText(const StatusReport& report);

/// The same as one JSON object, for monitoring scripts, with
/// "personNeeded" and its "reasons".
QJsonObject statusJson(const StatusReport& report);

}  // namespace corvex
