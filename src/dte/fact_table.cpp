#include "dte/fact_table.h"

#include "base/error.h"
#include "dte/dte_type.h"

#include <QFile>

#include <nlohmann/json.hpp>

static void initFactResources() { Q_INIT_RESOURCE(catalogues); }

namespace corvex {
namespace {

using nlohmann::json;

constexpr int kGenerations = 2;

Error badTable(const QString& why) {
  return Error(kInvalidFileFormat, QStringLiteral("The DTE fact table is not valid: ") + why);
}

QString utf8(const std::string& text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

// The path of `fact` for `code` in one generation's entry: the type's own,
// else the one for every type; null reads blank.
QString pathIn(const json& entry, const std::string& code, const QString& fact) {
  if (!entry.is_object()) throw badTable(fact + QStringLiteral(": a generation is not an object"));
  auto found = entry.find(code);
  if (found == entry.end()) found = entry.find("*");
  if (found == entry.end() || found->is_null()) return QString();
  if (!found->is_string()) throw badTable(fact + QStringLiteral(": a path is not text"));
  return utf8(found->get<std::string>());
}

// Each fact of `scope` for `code`, by generation: a generation the fact
// leaves out reads as the one before it.
void addScope(const json& scope, const std::string& code, QList<FactPaths>& paths,
              QHash<QString, QString> FactPaths::*member) {
  if (!scope.is_object()) throw badTable(QStringLiteral("\"document\" and \"item\" must be objects"));
  for (const auto& [name, generations] : scope.items()) {
    const QString fact = utf8(name);
    if (!generations.is_array() || generations.empty() || generations.size() > kGenerations)
      throw badTable(fact + QStringLiteral(" does not list one or two generations"));
    for (int generation = 0; generation < kGenerations; ++generation) {
      const json& entry = generations[std::min<std::size_t>(std::size_t(generation), generations.size() - 1)];
      (paths[generation].*member).insert(fact, pathIn(entry, code, fact));
    }
  }
}

QList<int> versionsOf(const json& versions, const std::string& code) {
  const auto found = versions.find(code);
  if (found == versions.end() || !found->is_array() || found->size() != kGenerations)
    throw badTable(QStringLiteral("type %1 has no version for each generation").arg(utf8(code)));
  QList<int> list;
  for (const json& version : *found) {
    if (!version.is_number_integer()) throw badTable(QStringLiteral("a version is not a whole number"));
    list << version.get<int>();
  }
  return list;
}

}  // namespace

FactTable FactTable::fromJson(const QByteArray& text) {
  const json root = json::parse(text.begin(), text.end(), nullptr, false);
  if (!root.is_object() || !root.contains("versions") || !root.contains("document") || !root.contains("item"))
    throw badTable(QStringLiteral("it needs \"versions\", \"document\" and \"item\""));
  FactTable table;
  for (const DteType& type : dteTypes()) {
    const std::string code = type.code.toStdString();
    table.m_versions.insert(type.code, versionsOf(root["versions"], code));
    QList<FactPaths> paths(kGenerations);
    addScope(root["document"], code, paths, &FactPaths::document);
    addScope(root["item"], code, paths, &FactPaths::item);
    table.m_paths.insert(type.code, paths);
  }
  return table;
}

const FactTable& FactTable::standard() {
  static const FactTable table = [] {
    initFactResources();
    QFile file(QStringLiteral(":/dte/facts.json"));
    if (!file.open(QIODevice::ReadOnly))
      throw Error(kFileNotFound, QStringLiteral("The DTE fact table %1 is missing").arg(file.fileName()));
    return fromJson(file.readAll());
  }();
  return table;
}

Generation FactTable::generationOf(QStringView code, std::optional<int> version) const {
  const QList<int> known = versions(code);
  Generation generation;
  generation.version = version.value_or(0);
  if (!version || known.isEmpty() || *version < known.last()) return generation;
  generation.number = int(known.size());
  generation.newer = *version > known.last();
  return generation;
}

QList<int> FactTable::versions(QStringView code) const { return m_versions.value(code.toString()); }

const FactPaths& FactTable::paths(QStringView code, int generation) const {
  static const FactPaths none;
  const auto found = m_paths.constFind(code.toString());
  if (found == m_paths.constEnd() || generation < 1 || generation > found->size()) return none;
  return (*found)[generation - 1];
}

}  // namespace corvex
