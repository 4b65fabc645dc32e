#include "dispatch/run_summary.h"

namespace corvex {

RunSummary::RunSummary() { m_timer.start(); }

QString RunSummary::countsText() const {
  return QStringLiteral("%1 mailed, %2 failed, %3 still pending").arg(m_mailed).arg(m_failed).arg(m_listed - m_mailed);
}

QString RunSummary::logText() const {
  return QStringLiteral("sendDTEbyMail=> Run: %1, %2 seconds")
      .arg(countsText())
      .arg(static_cast<double>(m_timer.elapsed()) / 1000.0, 0, 'f', 1);
}

}  // namespace corvex
