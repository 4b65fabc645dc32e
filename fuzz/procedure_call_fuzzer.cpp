// The first line is a statement, the rest a stored procedure's body: parsing
// and binding either succeed or raise the program's Error, nothing else.
#include "base/error.h"
#include "db/procedure_call.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QString input = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
  const qsizetype newline = input.indexOf(QLatin1Char('\n'));
  const QString statement = newline < 0 ? input : input.left(newline);
  const QString body = newline < 0 ? QString() : input.mid(newline + 1);
  try {
    const std::optional<corvex::ProcedureCall> call = corvex::parseProcedureCall(statement);
    if (!call) return 0;
    const corvex::BoundBody bound = corvex::bindProcedureBody(*call, body);
    if (bound.sql.count(QLatin1Char('?')) < bound.values.size()) __builtin_trap();
  } catch (const corvex::Error&) {
  }
  return 0;
}
