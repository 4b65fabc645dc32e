#pragma once

#include <QThreadPool>

#include <functional>
#include <future>

namespace corvex {

/// Runs tasks on one thread per processor core while the caller goes on.
/// The threads stay from one task to the next, so what a thread keeps for
/// itself (the fonts a text layout loads) is loaded once, not per task.
/// Whatever a task raises is raised again by its future's get(). Destroying
/// the pool waits for the tasks under way.
class WorkerPool {
 public:
  WorkerPool();
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  std::future<void> run(std::function<void()> task);
  /// How many tasks run at once.
  int threadCount() const { return m_threads.maxThreadCount(); }

 private:
  QThreadPool m_threads;
};

}  // namespace corvex
