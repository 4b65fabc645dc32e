#include "text/unit_count.h"

namespace corvex {

namespace {

bool isVowel(QChar letter) { return QStringLiteral("aeiouáéíóú").contains(letter.toLower()); }

// Spanish forms its plural with -s after a vowel and -es after a consonant
// ("Día" / "Días", "Mes" / "Meses").
QString singular(const QString& plural) {
  if (!plural.endsWith(u's', Qt::CaseInsensitive) || plural.size() < 2) return plural;
  const bool es = plural.size() > 3 && plural.endsWith(QLatin1String("es"), Qt::CaseInsensitive) &&
                  !isVowel(plural.at(plural.size() - 3));
  return plural.chopped(es ? 2 : 1);
}

}  // namespace

QString unitForCount(double count, const QString& pluralUnit) {
  return count == 1.0 ? singular(pluralUnit) : pluralUnit;
}

}  // namespace corvex
