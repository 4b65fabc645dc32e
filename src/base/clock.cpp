#include "base/clock.h"

namespace corvex {

QString formatTimestamp(const QDateTime& time) { return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")); }

}  // namespace corvex
