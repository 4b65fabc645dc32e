#include "app/headless_display.h"

#include <cstdio>

namespace corvex {

HeadlessDisplay::HeadlessDisplay() : m_out(stdout) {}

void HeadlessDisplay::setCaption(const QString& caption) { m_out << caption << Qt::endl; }

}  // namespace corvex
