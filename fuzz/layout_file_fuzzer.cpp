// Any bytes as a layout file: read, or refused with the program's Error.
#include "base/error.h"
#include "render/layout_file.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    corvex::parseLayout(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), QStringLiteral("fuzz.json"));
  } catch (const corvex::Error&) {
  }
  return 0;
}
