#pragma once

#include "render/data_rows.h"
#include "render/layout.h"

#include <cstddef>
#include <functional>
#include <vector>

namespace corvex {

/// Where one band of a flowing layout prints on its page.
struct PlacedBand {
  /// The section of Layout::body it belongs to.
  std::size_t section = 0;
  /// The section's caption rather than its band.
  bool caption = false;
  /// The row its fields read: the list's element, or 0 (the document's row).
  std::size_t row = 0;
  /// Twips below the top of the body, between page header and footer.
  int top = 0;
  /// As printed; never more than the body's height.
  int height = 0;
};

using FlowPage = std::vector<PlacedBand>;

/// The printed height of a section's band (or caption) for one row.
using BandMeasure = std::function<int(std::size_t section, bool caption, std::size_t row)>;

/// Flows the sections of `layout.body` down pages whose body is `room` twips
/// high: each section in order, a section with "when" only when the
/// document's column of that name holds a value, a list section once per
/// row of its list (nothing for an empty list). A band that no longer fits
/// starts a new page; a list's caption prints above its first row and again
/// at the top of each page the list goes on to, and never alone at the foot
/// of a page. Always at least one page, possibly empty.
std::vector<FlowPage> planFlow(const Layout& layout, const ReportData& data, int room, const BandMeasure& measure);

}  // namespace corvex
