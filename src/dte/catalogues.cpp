#include "dte/catalogues.h"

#include "base/error.h"

#include <QFile>

#include <algorithm>
#include <iterator>
#include <string_view>

#include <nlohmann/json.hpp>

static void initCatalogueResources() { Q_INIT_RESOURCE(catalogues); }

namespace corvex {
namespace {

using nlohmann::json;

QString fromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

Error badCatalogue(const QString& why) {
  return Error(kInvalidFileFormat, QStringLiteral("The DTE catalogue is not usable: %1").arg(why));
}

// In these catalogues a closing parenthesis holds a remark for the issuer
// ("Transporte (solo aplica para Factura de exportación)"), not a part of the
// name; elsewhere it is the name's own ("Turismo: por alojamiento (5%)").
constexpr std::string_view kRemarkCatalogues[] = {"CAT-005", "CAT-011", "CAT-012", "CAT-017", "CAT-021"};

bool carriesRemarks(const std::string& catalogue) {
  return std::find(std::begin(kRemarkCatalogues), std::end(kRemarkCatalogues), catalogue) !=
         std::end(kRemarkCatalogues);
}

QString withoutRemark(const QString& name) {
  const qsizetype open = name.indexOf(QLatin1String(" ("));
  return open > 0 && name.endsWith(u')') ? name.left(open) : name;
}

void addCodes(QHash<QString, QString>& names, const json& codes, const QString& prefix, bool remarks) {
  for (const auto& [code, name] : codes.items()) {
    if (!name.is_string()) throw badCatalogue(QStringLiteral("the name of %1 is not a text").arg(fromUtf8(code)));
    const QString text = fromUtf8(name.get<std::string>());
    names.insert(prefix + fromUtf8(code), remarks ? withoutRemark(text) : text);
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
      addCodes(names, *codes, QString(), carriesRemarks(name));
    if (const auto places = catalogue.find("byDepartamento"); places != catalogue.end() && places->is_object()) {
      for (const auto& [departamento, codes] : places->items())
        if (codes.is_object()) addCodes(names, codes, fromUtf8(departamento) + u'/', false);
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
