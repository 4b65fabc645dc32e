#pragma once

#include "base/status_display.h"

#include <QTextStream>

namespace corvex {

/// The window's twin without a display: each caption becomes one line on
/// standard output, flushed at once so a supervisor sees it.
class HeadlessDisplay final : public StatusDisplay {
 public:
  HeadlessDisplay();
  void setCaption(const QString& caption) override;

 private:
  QTextStream m_out;
};

}  // namespace corvex
