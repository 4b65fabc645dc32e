#pragma once

#include "base/app_folder.h"
#include "render/report.h"

#include <QString>

#include <map>
#include <memory>

namespace corvex {

/// The process's report objects, one per layout. Each is created, from its
/// layout file (see loadLayout()), by the first call that asks for it and then
/// kept: later calls return the same object. References stay valid for the
/// life of this object.
class ReportObjects {
 public:
  explicit ReportObjects(AppFolder folder);

  /// Raise what loadLayout() raises when the layout cannot be read; the next
  /// call tries again.
  Report& arSVDTEFactura();
  Report& arSVDTECreditoFiscal();
  /// The report of the layout `layoutName`.
  Report& report(const QString& layoutName);

 private:
  AppFolder m_folder;
  std::map<QString, std::unique_ptr<Report>> m_reports;
};

}  // namespace corvex
