#pragma once

#include <QHash>
#include <QString>
#include <QStringView>

#include <optional>

namespace corvex {

/// The tax authority's catalogue of codes (CAT-001 to CAT-032), as data:
/// resources/dte/catalogos.json, read once from the program's resources.
///
/// Names come without the remarks some catalogues add to them in
/// parentheses for the issuer ("Otros (se debe indicar el medio de pago)"
/// reads "Otros"); parentheses that belong to a name stay.
///
/// Municipios repeat their codes in each departamento, so they are looked
/// up by both. Both the municipios of before the 2024 reform (which
/// documents under the 2023 schemas carry) and those after are known; their
/// codes never clash within a departamento, so a code names the one list it
/// belongs to whatever the document's version.
class Catalogues {
 public:
  /// The catalogue of the program's resources; read on the first call, never
  /// changed after, safe to use from any thread. Raises Error 53 when the
  /// resource is missing and 321 when it is not the expected JSON (a broken
  /// build, not a bad document).
  static const Catalogues& standard();

  /// Reads a catalogue file of that shape (what standard() reads); raises
  /// Error 321 when `json` is not one.
  static Catalogues fromJson(const QByteArray& json);

  /// The name of `code` in `catalogue` ("CAT-012"); nullopt when the
  /// catalogue lacks it.
  std::optional<QString> find(QStringView catalogue, const QString& code) const;
  /// The name of municipio `code` of `departamento`, in either list.
  std::optional<QString> findMunicipio(const QString& departamento, const QString& code) const;

  /// find(), or `code` itself when the catalogue has no name for it.
  QString name(QStringView catalogue, const QString& code) const;

 private:
  /// Catalogue -> code -> name; municipios under "CAT-013" as
  /// departamento + "/" + code.
  QHash<QString, QHash<QString, QString>> m_names;
};

}  // namespace corvex
