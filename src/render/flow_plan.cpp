#include "render/flow_plan.h"

#include <algorithm>

namespace corvex {

namespace {

bool holdsValue(const DataRows& document, const QString& column) {
  const QVariant value = document.value(0, document.columnIndex(column));
  return !value.isNull() && !value.toString().isEmpty();
}

class FlowPlanner {
 public:
  explicit FlowPlanner(int room) : m_room(room) {}

  bool fits(int height) const { return m_used + std::min(height, m_room) <= m_room; }

  // A new page, unless this one is still empty: a band taller than a whole
  // page must not start page after empty page.
  void breakPage() {
    if (m_pages.back().empty()) return;
    m_pages.emplace_back();
    m_used = 0;
  }

  void place(std::size_t section, bool caption, std::size_t row, int height) {
    height = std::min(height, m_room);
    if (!fits(height)) breakPage();
    m_pages.back().push_back({section, caption, row, m_used, height});
    m_used += height;
  }

  std::vector<FlowPage> pages() { return std::move(m_pages); }

 private:
  int m_room;
  int m_used = 0;
  std::vector<FlowPage> m_pages{1};
};

void placeList(FlowPlanner& planner, std::size_t section, std::size_t rowCount, bool hasCaption,
               const BandMeasure& measure) {
  const int captionHeight = hasCaption ? measure(section, true, 0) : 0;
  for (std::size_t row = 0; row < rowCount; ++row) {
    const int height = measure(section, false, row);
    bool pageStart = row == 0;
    if (!planner.fits(height + (pageStart ? captionHeight : 0))) {
      planner.breakPage();
      pageStart = true;
    }
    if (pageStart && hasCaption) planner.place(section, true, 0, captionHeight);
    planner.place(section, false, row, height);
  }
}

}  // namespace

std::vector<FlowPage> planFlow(const Layout& layout, const ReportData& data, int room, const BandMeasure& measure) {
  FlowPlanner planner(room);
  for (std::size_t i = 0; i < layout.body.size(); ++i) {
    const BodySection& section = layout.body[i];
    if (!section.when.isEmpty() && !holdsValue(data.document, section.when)) continue;
    if (section.list.isEmpty()) {
      planner.place(i, false, 0, measure(i, false, 0));
      continue;
    }
    placeList(planner, i, data.list(section.list).rows.size(), section.caption.height > 0, measure);
  }
  return planner.pages();
}

}  // namespace corvex
