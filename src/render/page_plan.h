#pragma once

#include "render/layout.h"

#include <cstddef>
#include <vector>

namespace corvex {

/// The rows one page prints as detail bands.
struct PagePlan {
  std::size_t firstRow = 0;
  std::size_t rowCount = 0;
};

/// Where the bands of a page go, in twips from the paper's top-left corner.
struct PageGeometry {
  int left = 0;
  int headerTop = 0;
  int detailTop = 0;
  int footerTop = 0;
  /// How many detail bands fit between the header and the footer (0 for a
  /// flowing layout, whose body starts at detailTop).
  std::size_t rowsPerPage = 0;
};

/// The page geometry of `layout` under its current margins. The footer sits
/// at the bottom of the print area. Raises Error(kInvalidFileFormat) when not
/// one detail band fits between header and footer (for a flowing layout:
/// when no room is left between them).
PageGeometry pageGeometry(const Layout& layout);

/// Splits `rowCount` rows into pages: every page but the last is full; no rows
/// still make one page (header and footer only).
std::vector<PagePlan> planPages(std::size_t rowCount, std::size_t rowsPerPage);

}  // namespace corvex
