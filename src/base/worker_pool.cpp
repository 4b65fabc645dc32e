#include "base/worker_pool.h"

#include <algorithm>
#include <memory>

namespace corvex {

// An idle thread expires after QThreadPool's half minute: its caches are
// then loaded again between two runs, never between two tasks of one run.
WorkerPool::WorkerPool() { m_threads.setMaxThreadCount(std::max(1, QThread::idealThreadCount())); }

WorkerPool::~WorkerPool() { m_threads.waitForDone(); }

std::future<void> WorkerPool::run(std::function<void()> task) {
  // Shared: the pool takes a copyable task, a promise moves only.
  auto promise = std::make_shared<std::promise<void>>();
  std::future<void> done = promise->get_future();
  m_threads.start([promise, task = std::move(task)] {
    try {
      task();
      promise->set_value();
    } catch (...) {
      promise->set_exception(std::current_exception());
    }
  });
  return done;
}

}  // namespace corvex
