#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace corvex {

/// The polling timer. Enabling it starts a fresh interval; a tick while it
/// is disabled never happens. Abstract so tests can tick it by hand.
class TickTimer {
 public:
  virtual ~TickTimer() = default;
  virtual void setEnabled(bool enabled) = 0;
  virtual bool isEnabled() const = 0;
  virtual int interval() const = 0;
  /// `handler` runs on every tick; it must not throw.
  virtual void setHandler(std::function<void()> handler) = 0;
};

/// The real timer, on the event loop of the calling thread.
class QtTickTimer final : public TickTimer {
 public:
  explicit QtTickTimer(int intervalMs);
  void setEnabled(bool enabled) override;
  bool isEnabled() const override { return m_timer.isActive(); }
  int interval() const override { return m_timer.interval(); }
  void setHandler(std::function<void()> handler) override;

 private:
  QTimer m_timer;
  QMetaObject::Connection m_connection;
};

}  // namespace corvex
