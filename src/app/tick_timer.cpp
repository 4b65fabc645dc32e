#include "app/tick_timer.h"

namespace corvex {

QtTickTimer::QtTickTimer(int intervalMs) { m_timer.setInterval(intervalMs); }

void QtTickTimer::setEnabled(bool enabled) {
  if (enabled)
    m_timer.start();  // start() on a running timer restarts its interval too
  else
    m_timer.stop();
}

void QtTickTimer::setHandler(std::function<void()> handler) {
  QObject::disconnect(m_connection);
  m_connection = QObject::connect(&m_timer, &QTimer::timeout, std::move(handler));
}

}  // namespace corvex
