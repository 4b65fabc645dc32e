#include "render/pdf_drawing_pool.h"

#include <memory>

namespace corvex {

// A thread's fonts are loaded again once it has expired: between two runs,
// not between two documents.
PdfDrawingPool::PdfDrawingPool() { m_threads.setMaxThreadCount(std::max(1, QThread::idealThreadCount())); }

PdfDrawingPool::~PdfDrawingPool() { m_threads.waitForDone(); }

std::future<QByteArray> PdfDrawingPool::draw(Report report) {
  // Shared: the pool takes a copyable task, a promise moves only.
  auto promise = std::make_shared<std::promise<QByteArray>>();
  std::future<QByteArray> drawn = promise->get_future();
  m_threads.start([promise, report = std::move(report)] {
    try {
      promise->set_value(report.drawPdf());
    } catch (...) {
      promise->set_exception(std::current_exception());
    }
  });
  return drawn;
}

}  // namespace corvex
