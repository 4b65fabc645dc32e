// Any value under any format: the first byte picks the value's kind, the next
// eight its number or time, the rest is the format. Formatting never raises.
#include "render/value_format.h"

#include <QDateTime>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

constexpr size_t kHead = 9;

QVariant valueFrom(const uint8_t* data, size_t size, const QString& rest) {
  double number = 0;
  qint64 milliseconds = 0;
  std::memcpy(&number, data + 1, sizeof number);
  std::memcpy(&milliseconds, data + 1, sizeof milliseconds);
  switch (size > 0 ? data[0] % 5 : 0) {
    case 0:
      return number;
    case 1:
      return QDateTime::fromMSecsSinceEpoch(milliseconds, Qt::UTC);
    case 2:
      return rest;
    case 3:
      return QVariant::fromValue(milliseconds);
    default:
      return QVariant();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kHead) return 0;
  const QString rest = QString::fromUtf8(reinterpret_cast<const char*>(data + kHead), qsizetype(size - kHead));
  const QVariant value = valueFrom(data, size, rest);
  corvex::isSupportedFormat(rest);
  corvex::formatValue(value, rest);
  return 0;
}
