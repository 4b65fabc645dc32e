#pragma once

#include <QString>

namespace corvex {

/// A unit named in the Spanish plural ("Meses", "Días", "Años"), as it
/// agrees with `count`: the singular ("Mes", "Día", "Año") for exactly one,
/// the plural as given for any other count. A name that is no plural (no
/// final "s") comes back as it is.
QString unitForCount(double count, const QString& pluralUnit);

}  // namespace corvex
