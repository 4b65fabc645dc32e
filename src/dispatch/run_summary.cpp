#include "dispatch/run_summary.h"

namespace corvex {

RunSummary::RunSummary() { m_timer.start(); }

QString RunSummary::logText() const {
  return QStringLiteral("sendDTEbyMail=> Run: %1 mailed, %2 failed, %3 still pending, %4 seconds")
      .arg(m_mailed)
      .arg(m_failed)
      .arg(m_listed - m_mailed)
      .arg(static_cast<double>(m_timer.elapsed()) / 1000.0, 0, 'f', 1);
}

}  // namespace corvex
