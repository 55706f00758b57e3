// The satellite-type analyser on 15-minute recordings: it reads only
// seconds of them, so the time is that of its chains, not of the file's
// length. The APT run takes the single-rate branch; the four-lines-a-second
// run with no tone goes through every double-rate test.
#include <benchmark/benchmark.h>

#include <string>

#include "AptSignal.h"
#include "ToneSignals.h"
#include "WavWriter.h"
#include "analysis/SignalAnalysis.h"

namespace {

using namespace vivurozed;

constexpr double kSeconds = 15 * 60;

testing::TempDir& Dir() {
  static testing::TempDir dir;
  return dir;
}

const std::string& AptWav() {
  static const std::string path = [] {
    testing::AptOptions o;
    o.seconds = kSeconds;
    o.snrDb = 30;
    const auto p = (Dir() / "apt.wav").string();
    testing::WriteWav(p, testing::AptSignal(o));
    return p;
  }();
  return path;
}

const std::string& DoubleRateWav() {
  static const std::string path = [] {
    testing::ToneSignalOptions o;
    o.family = testing::ToneFamily::DoubleRate;
    o.seconds = kSeconds;
    const auto p = (Dir() / "quad.wav").string();
    testing::WriteWav(p, testing::ToneSignal(o));
    return p;
  }();
  return path;
}

void Analyse(benchmark::State& state, const std::string& path, int expected) {
  TSignalAverage avg;
  int result = 0;
  for (auto _ : state) {
    float carrier = 0, time = 0;
    int tone = 0;
    TDiagnostics log;
    result = AnalyseFile(path, false, &log, carrier, time, &avg, tone, 0.5);
    benchmark::DoNotOptimize(result);
  }
  if (result != expected) state.SkipWithError("unexpected analysis result");
}

void BM_AnalyseFifteenMinuteApt(benchmark::State& state) {
  Analyse(state, AptWav(), arNOAA);
}
BENCHMARK(BM_AnalyseFifteenMinuteApt)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_AnalyseFifteenMinuteDoubleRate(benchmark::State& state) {
  Analyse(state, DoubleRateWav(), arSich);
}
BENCHMARK(BM_AnalyseFifteenMinuteDoubleRate)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
