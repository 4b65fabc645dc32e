#include "render/page_plan.h"

#include "base/error.h"
#include "render/layout_file.h"

namespace corvex {

PageGeometry pageGeometry(const Layout& layout) {
  const PageSetup& page = layout.page;
  PageGeometry geometry;
  geometry.left = page.margins.left;
  geometry.headerTop = page.margins.top;
  geometry.detailTop = geometry.headerTop + layout.pageHeader.height;
  geometry.footerTop = page.paperHeight - page.margins.bottom - layout.pageFooter.height;
  const int room = geometry.footerTop - geometry.detailTop;
  if (layout.flows()) {
    if (room <= 0)
      throw Error(kInvalidFileFormat,
                  QStringLiteral("Layout %1: no room for the body between page header and footer").arg(layout.name));
    return geometry;
  }
  if (room < layout.detail.height) {
    throw Error(kInvalidFileFormat,
                QStringLiteral("Layout %1: no detail band fits between page header and footer").arg(layout.name));
  }
  geometry.rowsPerPage = std::size_t(room / layout.detail.height);
  return geometry;
}

std::vector<PagePlan> planPages(std::size_t rowCount, std::size_t rowsPerPage) {
  std::vector<PagePlan> pages;
  for (std::size_t first = 0; first < rowCount; first += rowsPerPage) {
    pages.push_back({first, std::min(rowsPerPage, rowCount - first)});
  }
  if (pages.empty()) pages.push_back({0, 0});
  return pages;
}

}  // namespace corvex
