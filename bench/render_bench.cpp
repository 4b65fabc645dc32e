// How long the per-document work takes: the amount in words, and the PDF of
// the demo's longest document (a 60-line Credito Fiscal, three pages).
#include "base/clock.h"
#include "db/database.h"
#include "demo/demo_database.h"
#include "log/daily_log.h"
#include "render/document_renderer.h"
#include "text/amount_words.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace corvex {
namespace {

void AmountToWordsBench(benchmark::State& state) {
  double amount = 1234567.89;
  for (auto _ : state) {
    benchmark::DoNotOptimize(AmountToWords(amount));
    amount += 0.01;
  }
}
BENCHMARK(AmountToWordsBench);

void RenderLongCreditoFiscal(benchmark::State& state) {
  QTemporaryDir dir;
  for (const char* folder : {"logs", "files", "qr"}) QDir(dir.path()).mkpath(QString::fromLatin1(folder));
  buildDemoDatabase(dir.filePath(QStringLiteral("demo.db")));
  SystemClock clock;
  const AppFolder folder(dir.path());
  DailyLog log(folder, clock);
  Settings settings;
  settings.ConnectionString = QStringLiteral("Data Source=sqlite:demo.db");
  Database database(settings.ConnectionString, DbEnvironment{folder, QString()}, log);
  const QImage logo(QSize(120, 100), QImage::Format_RGB32);
  RealFileSystem files;
  DocumentRenderer renderer(database, settings, folder, logo, files);
  for (auto _ : state) benchmark::DoNotOptimize(renderer.CreateCreditoFiscalPDF(QStringLiteral("CF"), 319));
}
BENCHMARK(RenderLongCreditoFiscal)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvex

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
