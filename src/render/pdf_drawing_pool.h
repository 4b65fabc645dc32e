#pragma once

#include "render/report.h"

#include <QByteArray>
#include <QThreadPool>

#include <future>

namespace corvex {

/// Draws reports into PDF bytes on worker threads, one per processor core,
/// while the caller goes on reading, mailing and marking. The threads keep
/// their fonts loaded from one PDF to the next. Whatever drawing raises is
/// raised again by the future's get(). Destroying the pool waits for the
/// drawings still under way; their results are dropped.
class PdfDrawingPool {
 public:
  PdfDrawingPool();
  ~PdfDrawingPool();
  PdfDrawingPool(const PdfDrawingPool&) = delete;
  PdfDrawingPool& operator=(const PdfDrawingPool&) = delete;

  std::future<QByteArray> draw(Report report);
  /// How many drawings run at once.
  int threadCount() const { return m_threads.maxThreadCount(); }

 private:
  QThreadPool m_threads;
};

}  // namespace corvex
