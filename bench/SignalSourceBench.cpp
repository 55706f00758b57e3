// Streaming speed of the chain head: a 15-minute 11025 Hz mono recording
// read through TSignalSource into a processor that only counts samples.
#include <benchmark/benchmark.h>

#include "TempWav.h"
#include "signal/SignalProcessing.h"

namespace {

using namespace vivurozed;

class Counter : public TSignalProcessor {
 public:
  std::int64_t samples = 0;

 protected:
  void Process(SampleBlock block) override { samples += static_cast<std::int64_t>(block.size()); }
};

void BM_StreamFifteenMinutes(benchmark::State& state) {
  const std::string path = testing::FifteenMinuteAptWav(30);
  TSignalSource source;
  Counter counter;
  source.SetDataSink(&counter);
  for (auto _ : state) {
    counter.samples = 0;
    source.ReadFile(path);
    benchmark::DoNotOptimize(counter.samples);
  }
  state.SetItemsProcessed(state.iterations() * counter.samples);
  // Real time is 15 minutes of signal per iteration.
  state.counters["x_realtime"] = benchmark::Counter(static_cast<double>(state.iterations()) * 900.0,
                                                    benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StreamFifteenMinutes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
