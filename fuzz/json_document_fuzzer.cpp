// Any text as a document's JSON: the splice of the two members either is
// refused with the program's Error or gives JSON that loads again and reads
// the spliced members back unchanged.
#include "base/error.h"
#include "dispatch/json_document.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
  const QString signature = QStringLiteral("eyJhbGciOiJSUzUxMiJ9.\"quoted\"\\\u00F1\u2028");
  corvex::JsonDocument document;
  try {
    document.LoadJson(text);
    document.GetMemberText(QStringLiteral("body"));
  } catch (const corvex::Error&) {
  }
  try {
    document.InsertMemberText(corvex::JsonDocument::kAfterLastMember, QStringLiteral("firmaElectronica"), signature);
  } catch (const corvex::Error&) {
    return 0;  // not loaded: the text was refused
  }
  // From here on an Error is a finding: the splice must give loadable JSON.
  corvex::JsonDocument reloaded;
  reloaded.LoadJson(document.ToJsonText());
  if (reloaded.GetMemberText(QStringLiteral("firmaElectronica")) != signature) __builtin_trap();
  return 0;
}
