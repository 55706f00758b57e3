// A 15-minute APT recording through the normal decoding chain: source,
// quadrature AM detector and video decoder. Reports the real-time factor and
// each stage's share of the time.
#include <benchmark/benchmark.h>

#include "TempWav.h"
#include "decode/SignalVideoDecode.h"
#include "signal/SignalHilbert.h"

namespace {

using namespace vivurozed;

void BM_DecodeFifteenMinutes(benchmark::State& state) {
  const std::string path = testing::FifteenMinuteAptWav(25, 150);
  TSignalSource source;
  source.SetChannelSelect(chMonoToBoth);
  source.SetAGC(false);
  source.SetBufferSamples(2048);
  TSignalHilbertAMDetectorQ detector;
  detector.SetSampleRate(11025);
  detector.SetCarrierFrequency(2400);
  detector.SetFilterTaps(static_cast<int>(state.range(0)));
  detector.SetBandwidth(1350);
  TSatelliteVideoDecoder decoder;
  decoder.SetDecodeParameters(dpNOAAapt);
  source.SetDataSink(&detector);
  detector.SetDataSink(&decoder);
  int lines = 0;
  for (auto _ : state) {
    source.ReadFile(path);
    lines = decoder.LineCount();
    benchmark::DoNotOptimize(lines);
  }
  const double iterations = static_cast<double>(state.iterations());
  state.counters["lines"] = lines;
  state.counters["x_realtime"] =
      benchmark::Counter(iterations * 900.0, benchmark::Counter::kIsRate);
  const double detectorMs =
      std::chrono::duration<double, std::milli>(detector.ProcessingTime()).count();
  const double decoderMs =
      std::chrono::duration<double, std::milli>(decoder.ProcessingTime()).count();
  state.counters["detector_ms"] = detectorMs / iterations;
  state.counters["decoder_ms"] = decoderMs / iterations;
}
BENCHMARK(BM_DecodeFifteenMinutes)->Arg(21)->Arg(47)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
