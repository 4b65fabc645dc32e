#include "dte/record.h"

#include "dte/code_catalogue.h"
#include "dte/document_data.h"

#include <QStringList>

#include <algorithm>

namespace corvex {
namespace {

using nlohmann::json;

constexpr QStringView kNameSuffix = u"Nombre";

QString scalarText(const json& value) {
  if (value.is_string()) {
    const auto& text = value.get_ref<const std::string&>();
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
  }
  if (value.is_number() || value.is_boolean()) return QString::fromStdString(value.dump());
  return QString();
}

QString nodeText(const json& value) {
  if (!value.is_array()) return scalarText(value);
  QStringList parts;
  for (const json& element : value) {
    if (element.is_structured()) return QString();
    parts << scalarText(element);
  }
  return parts.join(QStringLiteral(", "));
}

QString joined(const QString& section, QStringView member) {
  return section.isEmpty() ? member.toString() : section + u'.' + member.toString();
}

// A fact's name stands for where the fact lives in the document's type and
// generation; on the document ("counterparty.nombre", "ivaRetained") and on
// its items ("description"), as the first segment of a path.
QString resolveFact(const FactPaths& facts, bool onDocument, const QString& section, QStringView path) {
  const QHash<QString, QString>* names =
      onDocument ? &facts.document : (section == u"cuerpoDocumento" ? &facts.item : nullptr);
  if (!names) return path.toString();
  const qsizetype dot = path.indexOf(u'.');
  const QStringView first = dot < 0 ? path : path.left(dot);
  const auto found = names->constFind(first.toString());
  if (found == names->constEnd()) return path.toString();
  if (found->isEmpty()) return QString();
  return dot < 0 ? *found : *found + path.mid(dot).toString();
}

// The items' own numbers say their order, whatever order the issuer's system
// wrote them in; elements without a number keep their places, and equal
// numbers their order.
void orderByNumItem(std::vector<Record>& records) {
  std::vector<std::size_t> places;
  std::vector<Record> numbered;
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (records[i].value(u"numItem").typeId() != QMetaType::Double) continue;
    places.push_back(i);
    numbered.push_back(records[i]);
  }
  std::stable_sort(numbered.begin(), numbered.end(), [](const Record& a, const Record& b) {
    return a.value(u"numItem").toDouble() < b.value(u"numItem").toDouble();
  });
  for (std::size_t i = 0; i < places.size(); ++i) records[places[i]] = numbered[i];
}

// A code the catalogue does not list (the four-digit country codes of the
// 2023 schemas) reads as the name the document writes beside it, if any.
std::optional<QString> nameBeside(QStringView catalogue, const json* holder) {
  if (catalogue != u"CAT-020" || !holder || !holder->is_object()) return std::nullopt;
  const auto name = holder->find("nombrePais");
  if (name == holder->end() || scalarText(*name).isEmpty()) return std::nullopt;
  return scalarText(*name);
}

}  // namespace

struct Record::Found {
  const json* node = nullptr;
  /// The object holding `node`, where a municipio finds its departamento.
  const json* parent = nullptr;
  QString section;
  /// Set instead of `node` for the seal, which need not be in the JSON.
  std::optional<QString> text;
};

Record::Record(std::shared_ptr<const DocumentData> data, const json* node, QString section)
    : m_data(std::move(data)), m_node(node && !node->is_null() ? node : nullptr), m_section(std::move(section)) {}

Record::Found Record::find(QStringView path) const {
  Found found;
  if (!m_node || path.isEmpty()) return found;
  const bool onDocument = m_node == &m_data->root;
  if (onDocument && path == u"selloRecibido" && !m_data->seal.isEmpty()) {
    found.text = m_data->seal;
    return found;
  }
  const QString resolved = resolveFact(*m_data->facts, onDocument, m_section, path);
  if (resolved.isEmpty()) return found;
  found.node = m_node;
  found.section = m_section;
  for (QStringView segment : QStringView(resolved).split(u'.')) {
    const json* next = nullptr;
    if (found.node->is_object()) {
      const auto it = found.node->find(segment.toUtf8().toStdString());
      if (it != found.node->end()) next = &*it;
      found.section = joined(found.section, segment);
    } else if (bool isIndex = false; found.node->is_array()) {
      const qsizetype index = segment.toLongLong(&isIndex);
      if (isIndex && index >= 0 && std::size_t(index) < found.node->size()) next = &(*found.node)[std::size_t(index)];
    }
    if (!next) return Found();
    found.parent = found.node;
    found.node = next;
  }
  return found;
}

QString Record::nameAt(QStringView path) const {
  const Found found = find(path.chopped(kNameSuffix.size()));
  if (!found.node) return QString();
  const QStringView catalogue = codeCatalogue(found.section);
  const QString code = nodeText(*found.node);
  if (catalogue.isNull() || code.isEmpty()) return code;
  const Catalogues& names = *m_data->catalogues;
  if (found.node->is_array()) {
    QStringList parts;
    for (const json& element : *found.node) parts << names.name(catalogue, scalarText(element));
    return parts.join(QStringLiteral(", "));
  }
  if (catalogue == u"CAT-013" && found.parent) {
    const auto departamento = found.parent->find("departamento");
    if (departamento == found.parent->end()) return code;
    return names.findMunicipio(scalarText(*departamento), code).value_or(code);
  }
  if (const std::optional<QString> name = names.find(catalogue, code)) return *name;
  return nameBeside(catalogue, found.parent).value_or(code);
}

QString Record::text(QStringView path) const {
  const Found found = find(path);
  if (found.text) return *found.text;
  if (found.node) return nodeText(*found.node);
  return path.endsWith(kNameSuffix) ? nameAt(path) : QString();
}

QVariant Record::value(QStringView path) const {
  const Found found = find(path);
  if (found.node && found.node->is_number()) return found.node->get<double>();
  const QString result = text(path);
  return result.isEmpty() ? QVariant() : QVariant(result);
}

bool Record::has(QStringView path) const {
  const Found found = find(path);
  if (found.text) return !found.text->isEmpty();
  if (!found.node || found.node->is_null()) return false;
  return !found.node->is_structured() || !found.node->empty();
}

Record Record::record(QStringView path) const {
  const Found found = find(path);
  if (!found.node || !found.node->is_object()) return Record();
  return Record(m_data, found.node, found.section);
}

std::vector<Record> Record::list(QStringView path) const {
  const Found found = find(path);
  std::vector<Record> records;
  if (!found.node || !found.node->is_array()) return records;
  for (const json& element : *found.node)
    if (element.is_object()) records.push_back(Record(m_data, &element, found.section));
  orderByNumItem(records);
  return records;
}

}  // namespace corvex
