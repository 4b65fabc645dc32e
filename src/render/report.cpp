#include "render/report.h"

#include "base/checked_file.h"
#include "base/error.h"
#include "render/watermark.h"

namespace corvex {

namespace {

QString kindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::Label:
      return QStringLiteral("label");
    case ControlKind::Field:
      return QStringLiteral("field");
    case ControlKind::Rectangle:
      return QStringLiteral("rectangle");
    case ControlKind::Line:
      return QStringLiteral("line");
    case ControlKind::Image:
      return QStringLiteral("image");
    case ControlKind::DataControl:
      return QStringLiteral("data control");
  }
  return QString();
}

}  // namespace

Report::Report(Layout layout) : m_layout(std::move(layout)) {}

const Control& Report::control(const QString& name, ControlKind kind) const {
  const Control* found = m_layout.findControl(name);
  if (found == nullptr || found->kind != kind) {
    throw Error(kItemNotFound,
                QStringLiteral("The layout %1 has no %2 named %3").arg(m_layout.name, kindName(kind), name));
  }
  return *found;
}

void Report::setLabelText(const QString& name, const QString& text) {
  m_values.texts.insert(control(name, ControlKind::Label).name.toLower(), text);
}

void Report::setPicture(const QString& name, const QImage& picture) {
  m_values.pictures.insert(control(name, ControlKind::Image).name.toLower(), picture);
}

DataControl& Report::dataControl(const QString& name) {
  control(name, ControlKind::DataControl);
  return m_dataControl;
}

// Three margins of a quarter inch and a bottom margin of half an inch: many
// printers cannot print the last few millimetres at the bottom edge, and the
// footer with the signature lines sits there. The 10890-twip print width fits
// 12240 - 2 * 360 either way.
void Report::ActiveReport_ReportStart() { m_layout.page.margins = PageMargins{360, 360, 360, 720}; }

void Report::checkColumns(const DataRows& rows) const {
  for (const Band* band : m_layout.bands()) {
    for (const Control& control : band->controls) {
      if (control.kind == ControlKind::Field && rows.columnIndex(control.column) < 0) {
        throw Error(kItemNotFound, QStringLiteral("The data of layout %1 has no column %2 (field %3)")
                                       .arg(m_layout.name, control.column, control.name));
      }
    }
  }
}

void Report::run(DataRows rows) {
  if (m_layout.flows()) {
    throw Error(kInvalidFileFormat, QStringLiteral("The layout %1 prints a document, not rows").arg(m_layout.name));
  }
  checkColumns(rows);
  ActiveReport_ReportStart();
  m_geometry = pageGeometry(m_layout);
  m_pages = planPages(rows.rows.size(), m_geometry.rowsPerPage);
  m_rows = std::move(rows);
  m_flowPages.clear();
}

void Report::run(ReportData data) {
  if (!m_layout.flows()) {
    throw Error(kInvalidFileFormat, QStringLiteral("The layout %1 prints rows, not a document").arg(m_layout.name));
  }
  ActiveReport_ReportStart();
  m_geometry = pageGeometry(m_layout);
  m_data = std::move(data);
  const BandMeasure measure = [this](std::size_t section, bool caption, std::size_t row) {
    return printedHeight(placedContent({section, caption, row, 0, 0}));
  };
  m_flowPages = planFlow(m_layout, m_data, m_geometry.footerTop - m_geometry.detailTop, measure);
  m_pages.clear();
}

BandContent Report::placedContent(const PlacedBand& placed) const {
  const BodySection& section = m_layout.body[placed.section];
  if (placed.caption) return {section.caption, m_data.document, 0, m_values, placed.height};
  if (section.list.isEmpty()) return {section.band, m_data.document, 0, m_values, placed.height};
  return {section.band, m_data.list(section.list), placed.row, m_values, placed.height};
}

void Report::paintFlowPage(PdfDocument& pdf, std::size_t page) const {
  const int number = int(page) + 1;
  const int pages = int(m_flowPages.size());
  paintBand(pdf, {m_layout.pageHeader, m_data.document, 0, m_values, 0, number, pages},
            {m_geometry.left, m_geometry.headerTop});
  for (const PlacedBand& placed : m_flowPages[page]) {
    BandContent content = placedContent(placed);
    content.page = number;
    content.pages = pages;
    paintBand(pdf, content, {m_geometry.left, m_geometry.detailTop + placed.top});
  }
  paintBand(pdf, {m_layout.pageFooter, m_data.document, 0, m_values, 0, number, pages},
            {m_geometry.left, m_geometry.footerTop});
}

void Report::paintPage(PdfDocument& pdf, const PagePlan& page) const {
  const std::optional<std::size_t> first = page.rowCount > 0 ? std::optional(page.firstRow) : std::nullopt;
  const std::optional<std::size_t> last =
      page.rowCount > 0 ? std::optional(page.firstRow + page.rowCount - 1) : std::nullopt;
  paintBand(pdf, {m_layout.pageHeader, m_rows, first, m_values}, {m_geometry.left, m_geometry.headerTop});
  for (std::size_t i = 0; i < page.rowCount; ++i) {
    const int top = m_geometry.detailTop + int(i) * m_layout.detail.height;
    paintBand(pdf, {m_layout.detail, m_rows, page.firstRow + i, m_values}, {m_geometry.left, top});
  }
  paintBand(pdf, {m_layout.pageFooter, m_rows, last, m_values}, {m_geometry.left, m_geometry.footerTop});
}

// Drawn whole in memory, then written through the checked path: a cut PDF
// must never reach a buyer.
void Report::exportPdf(FileSystem& files, const QString& path) const { writeFileReplacing(files, path, drawPdf()); }

QByteArray Report::drawPdf() const {
  if (pageCount() == 0) {
    throw Error(kObjectNotSet, QStringLiteral("The report %1 was not generated before its export").arg(m_layout.name));
  }
  PdfDocument pdf(QSize(m_layout.page.paperWidth, m_layout.page.paperHeight), m_layout.name, QStringLiteral("Corvex"));
  for (std::size_t i = 0; i < std::size_t(pageCount()); ++i) {
    if (i > 0) pdf.newPage();
    if (m_layout.flows()) {
      paintFlowPage(pdf, i);
    } else {
      paintPage(pdf, m_pages[i]);
    }
    paintWatermark(pdf, QSize(m_layout.page.paperWidth, m_layout.page.paperHeight), m_watermark);
  }
  return pdf.toPdf();
}

}  // namespace corvex
