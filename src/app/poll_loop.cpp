#include "app/poll_loop.h"

namespace corvex {

PollLoop::PollLoop(StatusDisplay& display, TickTimer& contador, Run run)
    : m_display(display), m_contador(contador), m_run(std::move(run)) {
  m_contador.setHandler([this] { Contador_Timer(); });
}

void PollLoop::start() {
  m_display.setCaption(QStringLiteral("Main"));
  m_contador.setEnabled(true);
}

bool PollLoop::Contador_Timer() {
  m_contador.setEnabled(false);
  const bool normalEnd = m_run();
  if (normalEnd) m_contador.setEnabled(true);
  return normalEnd;
}

}  // namespace corvex
