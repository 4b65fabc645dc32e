#include "dte/catalogues.h"

#include "base/error.h"

#include <QFile>

#include <nlohmann/json.hpp>

static void initCatalogueResources() { Q_INIT_RESOURCE(catalogues); }

namespace corvex {
namespace {

using nlohmann::json;

QString fromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

Error badCatalogue(const QString& why) {
  return Error(kInvalidFileFormat, QStringLiteral("The DTE catalogue is not usable: %1").arg(why));
}

void addCodes(QHash<QString, QString>& names, const json& codes, const QString& prefix) {
  for (const auto& [code, name] : codes.items()) {
    if (!name.is_string()) throw badCatalogue(QStringLiteral("the name of %1 is not a text").arg(fromUtf8(code)));
    names.insert(prefix + fromUtf8(code), fromUtf8(name.get<std::string>()));
  }
}

// Both municipio lists go under CAT-013: their codes never clash within a
// departamento, and a document may carry either.
QString catalogueKey(const std::string& name) {
  return name.starts_with("CAT-013") ? QStringLiteral("CAT-013") : fromUtf8(name);
}

}  // namespace

Catalogues Catalogues::fromJson(const QByteArray& text) {
  const json root = json::parse(text.begin(), text.end(), nullptr, false);
  if (!root.is_object()) throw badCatalogue(QStringLiteral("not a JSON object"));
  Catalogues catalogues;
  for (const auto& [name, catalogue] : root.items()) {
    if (!catalogue.is_object()) throw badCatalogue(fromUtf8(name) + QStringLiteral(" is not an object"));
    QHash<QString, QString>& names = catalogues.m_names[catalogueKey(name)];
    if (const auto codes = catalogue.find("codes"); codes != catalogue.end() && codes->is_object())
      addCodes(names, *codes, QString());
    if (const auto places = catalogue.find("byDepartamento"); places != catalogue.end() && places->is_object()) {
      for (const auto& [departamento, codes] : places->items())
        if (codes.is_object()) addCodes(names, codes, fromUtf8(departamento) + u'/');
    }
  }
  return catalogues;
}

const Catalogues& Catalogues::standard() {
  static const Catalogues catalogues = [] {
    initCatalogueResources();
    QFile file(QStringLiteral(":/dte/catalogos.json"));
    if (!file.open(QIODevice::ReadOnly))
      throw Error(kFileNotFound, QStringLiteral("The DTE catalogue %1 is missing").arg(file.fileName()));
    return fromJson(file.readAll());
  }();
  return catalogues;
}

std::optional<QString> Catalogues::find(QStringView catalogue, const QString& code) const {
  const auto names = m_names.constFind(catalogue.toString());
  if (names == m_names.constEnd()) return std::nullopt;
  const auto name = names->constFind(code);
  if (name == names->constEnd()) return std::nullopt;
  return *name;
}

std::optional<QString> Catalogues::findMunicipio(const QString& departamento, const QString& code) const {
  return find(u"CAT-013", departamento + u'/' + code);
}

QString Catalogues::name(QStringView catalogue, const QString& code) const {
  return find(catalogue, code).value_or(code);
}

}  // namespace corvex
