#include "ops/status_command.h"

#include "ops/status_output.h"
#include "ops/status_report.h"

#include <QJsonDocument>

namespace corvex {

int showStatus(const AppFolder& folder, const Clock& clock, bool json, QTextStream& out) {
  const StatusReport report = gatherStatus(folder, clock);
  if (json)
    out << QJsonDocument(statusJson(report)).toJson(QJsonDocument::Compact) << Qt::endl;
  else
    out << statusText(report) << Qt::flush;
  return report.reasons().isEmpty() ? 0 : 1;
}

}  // namespace corvex
