#include "render/report_objects.h"

#include "render/layout_file.h"

namespace corvex {

ReportObjects::ReportObjects(AppFolder folder) : m_folder(std::move(folder)) {}

Report& ReportObjects::arSVDTEFactura() { return report(QStringLiteral("arSVDTEFactura")); }

Report& ReportObjects::arSVDTECreditoFiscal() { return report(QStringLiteral("arSVDTECreditoFiscal")); }

Report& ReportObjects::report(const QString& layoutName) {
  std::unique_ptr<Report>& slot = m_reports[layoutName];
  if (!slot) slot = std::make_unique<Report>(loadLayout(layoutName, m_folder));
  return *slot;
}

}  // namespace corvex
