#pragma once

#include "base/file_system.h"
#include "render/band_painter.h"
#include "render/data_control.h"
#include "render/data_rows.h"
#include "render/flow_plan.h"
#include "render/layout.h"
#include "render/page_plan.h"

#include <QImage>
#include <QString>

#include <vector>

namespace corvex {

/// One report object: a layout, the values set into it at run time, its data
/// control and, once generated, its pages. It is meant to be kept and reused;
/// run-time values stay until they are set again, so the caller sets every
/// one of them for every document.
///
/// Control names compare case-insensitively. Setting a control the layout
/// lacks, or one of another kind, raises Error(kItemNotFound).
class Report {
 public:
  explicit Report(Layout layout);

  const QString& name() const { return m_layout.name; }
  const Layout& layout() const { return m_layout; }

  /// A label's displayed text; its design-time caption never prints after this.
  void setLabelText(const QString& control, const QString& text);
  /// An image's picture (implicitly shared, not copied).
  void setPicture(const QString& control, const QImage& picture);
  /// A mark drawn across every page over its bands (paintWatermark()); an
  /// empty text draws none. Kept, like every run-time value, until set again.
  void setWatermark(const QString& text) { m_watermark = text; }
  /// The data control named `control` ("dcRepo"); a layout has at most one.
  DataControl& dataControl(const QString& control);

  /// Generates the pages from `rows`: page header, one detail band per row
  /// while they fit, page footer at the bottom; further pages repeat header
  /// and footer. Raises Error(kItemNotFound) naming a bound column the rows
  /// lack, Error(kInvalidFileFormat) for a flowing layout.
  void run(DataRows rows);
  /// Generates the pages of a flowing layout (see planFlow()): page header
  /// and footer on every page, read from the document's row like every band
  /// but the rows of a list; a column `data` lacks prints blank. Raises
  /// Error(kInvalidFileFormat) for a layout that does not flow.
  void run(ReportData data);
  /// Pages of the last run (0 before the first).
  int pageCount() const { return int(m_layout.flows() ? m_flowPages.size() : m_pages.size()); }

  /// Writes the generated pages to a PDF file at `path` through
  /// writeFileReplacing(), replacing any file there. Raises Error(91) before
  /// the first run, FileError when the file cannot be written.
  void exportPdf(FileSystem& files, const QString& path) const;
  /// The bytes exportPdf() writes. Touches nothing but this report's own
  /// data, so reports copied from one another may be drawn on several
  /// threads at once.
  QByteArray drawPdf() const;

 private:
  /// The report-start event: sets the page margins the printed page uses.
  void ActiveReport_ReportStart();
  const Control& control(const QString& name, ControlKind kind) const;
  void checkColumns(const DataRows& rows) const;
  void paintPage(PdfDocument& pdf, const PagePlan& page) const;
  void paintFlowPage(PdfDocument& pdf, std::size_t page) const;
  BandContent placedContent(const PlacedBand& placed) const;

  Layout m_layout;
  RunTimeValues m_values;
  QString m_watermark;
  DataControl m_dataControl;
  DataRows m_rows;
  PageGeometry m_geometry;
  std::vector<PagePlan> m_pages;
  ReportData m_data;
  std::vector<FlowPage> m_flowPages;
};

}  // namespace corvex
