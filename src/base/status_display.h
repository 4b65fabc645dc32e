#pragma once

#include <QString>

namespace corvex {

/// Where the program shows its state: the window's caption, or one line of
/// standard output when there is no window.
class StatusDisplay {
 public:
  virtual ~StatusDisplay() = default;
  virtual void setCaption(const QString& caption) = 0;
};

}  // namespace corvex
