#include "render/dte_report_data.h"

#include <QSet>

namespace corvex {

namespace {

// Every column the band's fields read, in the order they first appear.
void addColumns(const Band& band, QStringList& columns) {
  for (const Control& control : band.controls) {
    if (control.kind != ControlKind::Field) continue;
    for (const QString& column : QStringList{control.column} + control.moreColumns) {
      if (!columns.contains(column)) columns.append(column);
    }
  }
}

DataRows documentRow(const Layout& layout, const DocumentValues& document) {
  DataRows rows;
  addColumns(layout.pageHeader, rows.columns);
  addColumns(layout.pageFooter, rows.columns);
  QStringList conditions;
  for (const BodySection& section : layout.body) {
    addColumns(section.caption, rows.columns);
    if (section.list.isEmpty()) addColumns(section.band, rows.columns);
    if (!section.when.isEmpty() && !conditions.contains(section.when)) conditions.append(section.when);
  }
  std::vector<QVariant> row;
  for (const QString& column : rows.columns) row.push_back(document.value(column));
  // A condition that is also printed keeps its printed value, which holds a
  // value exactly when the condition does.
  for (const QString& condition : conditions) {
    if (rows.columns.contains(condition)) continue;
    rows.columns.append(condition);
    row.push_back(document.present(condition) ? QVariant(true) : QVariant());
  }
  rows.rows.push_back(std::move(row));
  return rows;
}

DataRows listRows(const BodySection& section, const DocumentValues& document, DataRows rows) {
  addColumns(section.band, rows.columns);
  const std::size_t count = document.count(section.list);
  rows.rows.assign(count, {});
  for (std::size_t i = 0; i < count; ++i) {
    for (const QString& column : rows.columns) rows.rows[i].push_back(document.value(section.list, i, column));
  }
  return rows;
}

}  // namespace

ReportData reportData(const Layout& layout, const DocumentValues& document) {
  ReportData data;
  data.document = documentRow(layout, document);
  for (const BodySection& section : layout.body) {
    if (section.list.isEmpty()) continue;
    // Two sections over one list share its rows, with the columns of both.
    data.lists.insert(section.list, listRows(section, document, data.lists.value(section.list)));
  }
  return data;
}

}  // namespace corvex
