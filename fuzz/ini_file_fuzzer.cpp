// Any bytes as main.ini: the lookup ends and keeps to the reader's buffer.
#include "app/ini_file.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray content(reinterpret_cast<const char*>(data), qsizetype(size));
  const QString value = corvex::iniValue(content, QStringLiteral("DB"), QStringLiteral("cString"), QString());
  if (value.size() > 254) __builtin_trap();
  return 0;
}
