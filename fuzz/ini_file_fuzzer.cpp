// Any bytes as main.ini: the lookup ends, and what it finds comes from those
// bytes (each decodes to at most one character). Only the connection string
// is cut to the original's 254 characters, after the lookup; the [OAuth]
// secrets and tokens are read whole.
#include "startup/ini_file.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray content(reinterpret_cast<const char*>(data), qsizetype(size));
  const QString value = corvex::iniValue(content, QStringLiteral("DB"), QStringLiteral("cString"), QString());
  if (value.size() > content.size()) __builtin_trap();
  return 0;
}
