// Any bytes as a message of the bounce mailbox: reading them as a delivery
// report never crashes, never raises, and never says more than it read: a
// report that is not one names no failure, and every failure it names is
// bounded as the ledger's lines are.
#include "mail/delivery_report.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray message(reinterpret_cast<const char*>(data), qsizetype(size));
  const corvex::DeliveryReport report = corvex::readDeliveryReport(message);
  if (!report.isReport && (!report.failures.isEmpty() || !report.problem.isEmpty())) __builtin_trap();
  if (!report.problem.isEmpty() && !report.failures.isEmpty()) __builtin_trap();
  if (report.failures.size() > 20) __builtin_trap();
  for (const corvex::DeliveryReport::Failure& failure : report.failures) {
    if (failure.recipient.size() > 250 || failure.status.size() > 500 || failure.diagnostic.size() > 500)
      __builtin_trap();
  }
  if (report.envelopeId.size() > 250 || report.originalMessageId.size() > 250) __builtin_trap();
  return 0;
}
