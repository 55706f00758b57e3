// The overlay's cost for a fifteen-minute NOAA pass: predicting, fitting and
// drawing the overlay (1800 lines), then composing it over a 24-bit channel
// picture.
#include <benchmark/benchmark.h>

#include <fstream>

#include "WavWriter.h"
#include "map/Overlay.h"
#include "map/OverlayMaker.h"

namespace {

using namespace vivurozed;

constexpr const char* kElements =
    "NOAA 15\n"
    "1 25338U 98030A   19237.55125393  .00000021  00000-0  27641-4 0  9993\n"
    "2 25338  98.7445 258.6869 0011278  50.3058 309.9115 14.25927920106921\n";

void BM_MakeOverlay(benchmark::State& state) {
  testing::TempDir dir;
  std::ofstream(dir / "weather.txt") << kElements;
  TDiagnostics log;
  TOverlayMakerSettings settings;
  settings.twoLineDataPath = settings.keplerFolder = dir.Path().string();
  TOverlayMaker maker(log, settings);
  const TDateTime start = EncodeDateTime(2019, 8, 25, 18, 24, 0);
  for (auto _ : state) {
    log.Clear();
    if (!maker.MakeOverlay("NOAA-15", 15, start)) state.SkipWithError("no overlay");
    benchmark::DoNotOptimize(maker.OverlayBitmap().ScanLine(900));
  }
}
BENCHMARK(BM_MakeOverlay)->Unit(benchmark::kMillisecond);

void BM_RenderOverChannel(benchmark::State& state) {
  testing::TempDir dir;
  std::ofstream(dir / "weather.txt") << kElements;
  TDiagnostics log;
  TOverlayMakerSettings settings;
  settings.twoLineDataPath = settings.keplerFolder = dir.Path().string();
  TOverlayMaker maker(log, settings);
  maker.MakeOverlay("NOAA-15", 15, EncodeDateTime(2019, 8, 25, 18, 24, 0));
  const TExtBitmap picture(1040, 1800, pf24bit);
  TOverlayOptions options;
  options.grid = TColour{255, 0, 0};
  options.boundary = TColour{255, 255, 0};
  options.graphic = TColour{0, 255, 255};
  options.rotate180 = true;
  options.scale = true;
  TExtBitmap destination;
  for (auto _ : state) {
    TExtBitmap overlay = maker.OverlayBitmap();
    RenderOverlay(picture, overlay, destination, options);
    benchmark::DoNotOptimize(destination.ScanLine(900));
  }
}
BENCHMARK(BM_RenderOverChannel)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
