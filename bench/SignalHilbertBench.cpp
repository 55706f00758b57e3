// The normal decoding chain's front end: a 15-minute 11025 Hz recording read
// through TSignalSource into TSignalHilbertAMDetectorQ with 47 taps.
#include <benchmark/benchmark.h>

#include "TempWav.h"
#include "signal/SignalHilbert.h"
#include "signal/SignalProcessing.h"

namespace {

using namespace vivurozed;

class Counter : public TSignalProcessor {
 public:
  std::int64_t samples = 0;
  double sum = 0;

 protected:
  void Process(SampleBlock block) override {
    samples += static_cast<std::int64_t>(block.size());
    sum += block[0].real();
  }
};

void BM_SourceAndAMDetectorQ(benchmark::State& state) {
  const std::string path = testing::FifteenMinuteAptWav(30);
  TSignalSource source;
  TSignalHilbertAMDetectorQ detector;
  Counter counter;
  detector.SetCarrierFrequency(2400);
  detector.SetBandwidth(1100);
  detector.SetFilterTaps(static_cast<int>(state.range(0)));
  source.SetDataSink(&detector);
  detector.SetDataSink(&counter);
  for (auto _ : state) {
    counter.samples = 0;
    source.ReadFile(path);
    benchmark::DoNotOptimize(counter.sum);
  }
  state.SetItemsProcessed(state.iterations() * counter.samples);
  // Real time is 15 minutes of signal per iteration.
  state.counters["x_realtime"] = benchmark::Counter(static_cast<double>(state.iterations()) * 900.0,
                                                    benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SourceAndAMDetectorQ)->Arg(21)->Arg(47)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
