#include "dte/document.h"

#include "base/error.h"
#include "dte/document_data.h"

#include <optional>

namespace corvex {
namespace {

using nlohmann::json;

Error unprintable(const QString& why) { return Error(kInvalidFileFormat, why); }

QString utf8(const std::string& text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

const DteType& typeOf(const json& root) {
  const auto identificacion = root.find("identificacion");
  if (identificacion == root.end() || !identificacion->is_object())
    throw unprintable(QStringLiteral("the DTE has no identificacion"));
  const auto tipoDte = identificacion->find("tipoDte");
  if (tipoDte == identificacion->end() || !tipoDte->is_string())
    throw unprintable(QStringLiteral("the DTE's identificacion has no tipoDte"));
  const QString code = utf8(tipoDte->get<std::string>());
  const DteType* type = findDteType(code);
  if (!type) throw unprintable(QStringLiteral("the DTE's tipoDte \"%1\" is not a type this program prints").arg(code));
  return *type;
}

// A list where the type has items and for documentoRelacionado; an object
// everywhere else (09's cuerpoDocumento included).
bool isList(const DteType& type, const QString& section) {
  return section == u"documentoRelacionado" || (section == u"cuerpoDocumento" && type.hasItems);
}

// The identificacion.version a document carries, when it is a whole number.
std::optional<int> versionOf(const json& root) {
  const json& version = root["identificacion"].value("version", json());
  if (version.is_number_integer()) return version.get<int>();
  if (version.is_string()) {
    bool whole = false;
    const int number = utf8(version.get<std::string>()).toInt(&whole);
    if (whole) return number;
  }
  return std::nullopt;
}

void checkSections(const json& root, const DteType& type, const FactPaths& facts) {
  for (const QString& required : type.requiredSections) {
    const QString section = facts.document.value(required, required);
    const auto found = root.find(section.toStdString());
    const QString name = QStringLiteral("the DTE %1 (%2)").arg(type.code, type.name);
    if (found == root.end() || found->is_null()) throw unprintable(name + QStringLiteral(" has no ") + section);
    const bool list = isList(type, section);
    if (list ? !found->is_array() : !found->is_object())
      throw unprintable(name + QStringLiteral(": its %1 is not %2").arg(section, list ? u"a list" : u"an object"));
  }
}

}  // namespace

Document Document::parse(const QByteArray& text, const QString& viewSeal) {
  auto data = std::make_shared<DocumentData>();
  data->root = json::parse(text.begin(), text.end(), nullptr, false);
  if (!data->root.is_object()) throw unprintable(QStringLiteral("the DTE is not a JSON object"));
  data->type = &typeOf(data->root);
  const FactTable& facts = FactTable::standard();
  data->generation = facts.generationOf(data->type->code, versionOf(data->root));
  data->facts = &facts.paths(data->type->code, data->generation.number);
  checkSections(data->root, *data->type, *data->facts);
  data->catalogues = &Catalogues::standard();
  data->seal = viewSeal;
  const json* root = &data->root;
  return Document(std::move(data), root, QString());
}

const DteType& Document::type() const { return *data()->type; }

const Generation& Document::generation() const { return data()->generation; }

QString Document::newerVersionNote() const {
  const Generation& generation = this->generation();
  if (!generation.newer) return QString();
  return QStringLiteral("DTE %1 (%2) version %3 is later than this program knows: printed as version %4")
      .arg(type().code, type().name)
      .arg(generation.version)
      .arg(FactTable::standard().versions(type().code).last());
}

QDate Document::fecEmi() const {
  return QDate::fromString(text(u"identificacion.fecEmi"), QStringLiteral("yyyy-MM-dd"));
}

Party Document::issuer() const { return Party(record(u"issuer")); }

Party Document::counterparty() const { return Party(record(u"counterparty")); }

std::vector<Item> Document::items() const {
  std::vector<Item> items;
  if (!type().hasItems) return items;
  for (const Record& record : list(u"cuerpoDocumento")) items.emplace_back(record);
  return items;
}

double Document::total() const { return value(u"total").toDouble(); }

void Document::checkGenerationCode(const QString& idDocumento) const {
  const QString own = codigoGeneracion();
  if (own.isEmpty() || own.compare(idDocumento, Qt::CaseInsensitive) != 0)
    throw unprintable(QStringLiteral("the DTE's codigoGeneracion %1 is not the document's IdDocumento %2")
                          .arg(own.isEmpty() ? QStringLiteral("(none)") : own, idDocumento));
}

}  // namespace corvex
