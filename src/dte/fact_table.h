#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

namespace corvex {

/// Where each fact a layout prints lives in one generation of one type: a
/// fact's name ("counterparty", "ivaRetained", an item's "description") and
/// the dotted path it stands for there; a blank path for a fact the type
/// does not carry.
struct FactPaths {
  /// Read on the document itself.
  QHash<QString, QString> document;
  /// Read on an element of cuerpoDocumento.
  QHash<QString, QString> item;
};

/// Which generation of the schemas a document follows.
struct Generation {
  /// 1 for the 2023 schemas, 2 for those of Normativa v2.0.
  int number = 1;
  /// The identificacion.version the document carries.
  int version = 0;
  /// True when that version is later than any this program knows: the
  /// document is read with the names of the newest generation.
  bool newer = false;
};

/// The table resources/dte/facts.json holds: each type's version in each
/// generation and where each printed fact lives in each. Read once, never
/// changed; any number of threads may read it.
class FactTable {
 public:
  /// The table built into the program.
  static const FactTable& standard();
  /// Raises Error 321 when `json` is not such a table.
  static FactTable fromJson(const QByteArray& json);

  /// The generation of a document of type `code` (one of the eleven) whose
  /// identificacion.version is `version`: the second from its version there
  /// on, the first below it (and for a document without a version).
  Generation generationOf(QStringView code, std::optional<int> version) const;
  /// The version of `code` in each generation, first to last.
  QList<int> versions(QStringView code) const;
  /// The facts of `code` in `generation` (1 or 2).
  const FactPaths& paths(QStringView code, int generation) const;

 private:
  QHash<QString, QList<int>> m_versions;
  QHash<QString, QList<FactPaths>> m_paths;
};

}  // namespace corvex
