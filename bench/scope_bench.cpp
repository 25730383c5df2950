// The player's waveform scope over an hour-long GSM call: a repaint (columns cached)
// against a recompute of the columns, at a typical panel width.
//
//   QT_QPA_PLATFORM=offscreen scope_bench [benchmark options]
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

#include "audio/CPlaybackManager.h"
#include "audio/CScopeColumns.h"
#include "audio/ui/COutputScope.h"
#include "core/Singleton.h"
#include "recording/CRecordingWriter.h"

namespace {

constexpr int kSeconds = 3600;
constexpr int kWidth = 1000;
constexpr int kHeight = 160;

COutputScope* g_scope = nullptr;

void BM_ScopeRepaint(benchmark::State& state) {
  QImage image(g_scope->size(), QImage::Format_RGB32);
  for (auto _ : state) {
    QPainter painter(&image);
    g_scope->Paint(painter);
  }
}
BENCHMARK(BM_ScopeRepaint)->Unit(benchmark::kMillisecond);

void BM_ScopeRecompute(benchmark::State& state) {
  const CKlRecordFile& rec = Singleton<CPlaybackManager>::Instance()->Recording();
  const int16_t* samples = nullptr;
  int available = rec.GetSamples(0, rec.SampleCount(), &samples);
  std::vector<CScopeColumns::Column> columns;
  for (auto _ : state) {
    CScopeColumns::Compute(samples, available, rec.SampleCount(), kWidth - 7, columns);
    benchmark::DoNotOptimize(columns.data());
  }
}
BENCHMARK(BM_ScopeRecompute)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir dir;
  const std::string path = dir.filePath(QStringLiteral("Hour-20260101-0900.zel")).toStdString();
  RecordingDescription d;
  d.formatTag = 49;
  std::vector<int16_t> pcm = CRecordingWriter::SynthesizeVoice(static_cast<size_t>(kSeconds) * 8000, 11);
  if (!CRecordingWriter::Write(path, d, pcm.data(), pcm.size())) {
    std::fprintf(stderr, "scope_bench: cannot write %s\n", path.c_str());
    return 2;
  }
  auto& manager = *Singleton<CPlaybackManager>::Instance();
  if (!manager.Load(path) || !manager.FinishDecoding()) {
    std::fprintf(stderr, "scope_bench: cannot load %s\n", path.c_str());
    return 2;
  }
  COutputScope scope;
  scope.resize(kWidth, kHeight);
  scope.SetTotal(manager.Recording().SampleCount());
  scope.SetMarks(600 * 8000, 900 * 8000);
  scope.SetPosition(1800 * 8000);
  g_scope = &scope;
  {
    QImage warm(scope.size(), QImage::Format_RGB32);
    QPainter painter(&warm);
    scope.Paint(painter);  // the first paint computes the columns
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  manager.Close();
  return 0;
}
