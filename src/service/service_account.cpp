#include "service/service_account.h"

namespace corvex {

bool accountNeedsPassword(const QString& account) {
  const QString name = account.trimmed();
  if (name.isEmpty() || name.compare(QStringLiteral("LocalSystem"), Qt::CaseInsensitive) == 0) return false;
  for (const QString& passwordless : {QStringLiteral("NT SERVICE\\"), QStringLiteral("NT AUTHORITY\\")}) {
    if (name.startsWith(passwordless, Qt::CaseInsensitive)) return false;
  }
  return !name.endsWith(QLatin1Char('$'));
}

}  // namespace corvex
