#include "base/document_files.h"
#include "render/document_renderer.h"
#include "render/document_texts.h"
#include "render/dte_report_data.h"

#include <QHash>

namespace corvex {

namespace {

// What the layouts read of a DTE: its members by path, codes named through
// the "Nombre" paths of the reader. Lists are read once each.
class DteValues : public DocumentValues {
 public:
  explicit DteValues(const Document& document) : m_document(document) {}

  QVariant value(const QString& path) const override { return m_document.value(path); }

  bool present(const QString& path) const override {
    return !m_document.value(path).isNull() || !m_document.record(path).isBlank() || count(path) > 0;
  }

  std::size_t count(const QString& list) const override { return elements(list).size(); }

  QVariant value(const QString& list, std::size_t index, const QString& path) const override {
    const std::vector<Record>& records = elements(list);
    return index < records.size() ? records[index].value(path) : QVariant();
  }

 private:
  const std::vector<Record>& elements(const QString& list) const {
    auto found = m_lists.find(list);
    if (found == m_lists.end()) found = m_lists.insert(list, m_document.list(list));
    return *found;
  }

  const Document& m_document;
  mutable QHash<QString, std::vector<Record>> m_lists;
};

QString totalInWords(const Document& document) {
  const QString words = document.totalInWords();
  return words.trimmed().isEmpty() ? amountLine(DbValue(QVariant(document.total()))) : words;
}

// A document of the test environment is no tax document: nobody may take
// its print for one.
QString testEnvironmentMark(const Document& document) {
  return document.ambiente() == u"00" ? QStringLiteral("DOCUMENTO DE PRUEBA,\nSIN VALIDEZ TRIBUTARIA") : QString();
}

// A restyled layout may leave out the logo, the addresses or the words.
void setLabelIfPresent(Report& report, const QString& control, const QString& text) {
  if (report.layout().findControl(control) != nullptr) report.setLabelText(control, text);
}

}  // namespace

QString DocumentRenderer::CreateDtePDF(const Document& document) { return exportPdf(draftDtePdf(document)); }

DocumentRenderer::Draft DocumentRenderer::draftDtePdf(const Document& document) {
  Report& report = m_reports.report(QStringLiteral("arSVDTE") + document.type().code);
  const QString id = document.codigoGeneracion();
  // The code names the PDF file: refused before any file is written when it
  // could lead outside files/.
  const QString pdfPath = documentFiles(m_folder, id).pdf;
  const QString url = publicQueryUrl(document.ambiente(), DbValue(QVariant(id)), DbValue(QVariant(document.fecEmi())));
  setLabelIfPresent(report, QStringLiteral("lLetras"), totalInWords(document));
  setLabelIfPresent(report, QStringLiteral("lblMail"), m_settings.sysEmail);
  setLabelIfPresent(report, QStringLiteral("lblWeb"), m_settings.sysWeb);
  if (report.layout().findControl(QStringLiteral("LogCorp")) != nullptr)
    report.setPicture(QStringLiteral("LogCorp"), m_logo);
  report.setWatermark(testEnvironmentMark(document));
  report.run(reportData(report.layout(), DteValues(document)));
  return Draft{id, pdfPath, url, report};
}

}  // namespace corvex
