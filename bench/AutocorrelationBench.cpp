// The analyser's autocorrelation: 3N = 16537 samples, 12862 lags, and the
// collector's Compute at the analyser's length N = 11025 / 2.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "platform/VectorLib.h"
#include "signal/SignalDetectors.h"

namespace {

using namespace vivurozed;

std::vector<float> Envelope(std::size_t n) {
  std::vector<float> v(n);
  for (std::size_t i = 0; i < n; ++i) {
    v[i] = static_cast<float>(3000 * std::sin(0.0023 * static_cast<double>(i)) +
                              500 * std::sin(0.7 * static_cast<double>(i)));
  }
  return v;
}

void BM_AutoCorrUnbiased(benchmark::State& state) {
  const auto src = Envelope(16537);
  std::vector<float> dst(12862);
  for (auto _ : state) {
    vec::AutoCorr(src, dst, vec::acUnbiased);
    benchmark::DoNotOptimize(dst.data());
  }
}
BENCHMARK(BM_AutoCorrUnbiased)->Unit(benchmark::kMillisecond);

void BM_AutocorrelationCompute(benchmark::State& state) {
  TSignalAutocorrelation ac;
  ac.SetLength(11025 / 2);
  const auto env = Envelope(3 * 5512);
  std::vector<TSample> block(env.size());
  for (auto _ : state) {
    state.PauseTiming();
    ac.SetLength(0);
    ac.SetLength(11025 / 2);
    for (std::size_t i = 0; i < env.size(); ++i) block[i] = TSample(env[i], 0.0f);
    ac.DataIn(nullptr, block);
    state.ResumeTiming();
    benchmark::DoNotOptimize(ac.Compute(true).data());
  }
}
BENCHMARK(BM_AutocorrelationCompute)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
