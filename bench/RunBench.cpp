// The whole unattended job on a NOAA pass, as the command line runs it
// (analyse, decode, NOAA channels, false colour, overlay, save a PNG main
// picture and JPEG channels), and each stage after decoding on its own.
// The bundled two-minute sample always runs; its figures are also scaled to
// fifteen minutes. The fifteen-minute recording of the shared test data runs
// when it is present beside the tree (or named by VZ_BENCH_RECORDING).
// Streaming alone is DecodeBench, the overlay's prediction OverlayBench.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "QuietRunHost.h"
#include "RecordingMessages.h"
#include "WavWriter.h"
#include "app/MainForm.h"
#include "image/JPEG_IO.h"
#include "image/PngImage.h"
#include "platform/Folders.h"

namespace {

using namespace vivurozed;
namespace fs = std::filesystem;

struct TRecording {
  fs::path path;
  TDateTime start;
  double seconds;
};

TRecording Sample() {
  return {VZ_SAMPLE, EncodeDateTime(2019, 8, 25, 18, 28, 15, 200), 120};
}

// Named and timed as a NOAA 15 pass so that the overlay is made; for the
// job's cost it does not matter that the elements belong to another pass.
std::optional<TRecording> FifteenMinutes() {
  const char* named = std::getenv("VZ_BENCH_RECORDING");
  const fs::path p =
      named ? fs::path(named) : fs::path(VZ_SHARED_TESTDATA) / "recordings/pass-14min-impaired.wav";
  std::error_code ec;
  if (!fs::is_regular_file(p, ec)) return std::nullopt;
  return TRecording{p, EncodeDateTime(2019, 8, 25, 18, 27, 0), 890};
}

// As the command line's host: nothing shown line by line.
struct TBatchHost : testing::QuietRunHost {
  bool ShowsLines() const override { return false; }
};

// One run's world: settings, user data and output in a fresh folder.
class TJob {
 public:
  explicit TJob(const TRecording& r) : recording_(r) {
    TSettingsStore::SetFolder(dir_.Path() / "settings");
    SetUserDataFolder(dir_.Path() / "data");
    fs::copy_file(r.path, dir_ / "08251827_NOAA15.wav");
    run_ = std::make_unique<TProcessingRun>(
        host_, std::make_shared<TSettingsStore>(SoftwareKeyPath(kProgramName)));
  }
  ~TJob() { SetUserDataFolder({}); }

  bool Run() {
    fs::remove_all(dir_ / "out");
    fs::create_directories(dir_ / "out");
    TBatchOptions batch;
    batch.input = (dir_ / "08251827_NOAA15.wav").string();
    batch.output = (dir_ / "out/pass.png").string();
    batch.overlay = true;
    batch.elements = std::string(VZ_TEST_DATA) + "/weather-2019-08-25.txt";
    batch.start = recording_.start;
    return run_->RunBatch(batch, {}) == 0;
  }
  TProcessingRun& Runner() { return *run_; }
  fs::path Out(const std::string& name) const { return dir_ / "out" / name; }

 private:
  TRecording recording_;
  testing::TempDir dir_;
  testing::RecordingMessages messages_;
  TBatchHost host_;
  std::unique_ptr<TProcessingRun> run_;
};

// The process's CPU milliseconds per iteration since `from`, scaled to a
// fifteen-minute pass.
void ScaleToFifteenMinutes(benchmark::State& state, std::clock_t from, double seconds) {
  const double ms = 1000.0 * double(std::clock() - from) / CLOCKS_PER_SEC;
  state.counters["cpu_ms_per_15_min"] = ms / double(state.iterations()) * 900.0 / seconds;
}

void WholeRun(benchmark::State& state, const std::optional<TRecording>& r) {
  if (!r) {
    state.SkipWithError("recording not present");
    return;
  }
  TJob job(*r);
  const std::clock_t from = std::clock();
  for (auto _ : state) {
    if (!job.Run()) state.SkipWithError("the run failed");
  }
  ScaleToFifteenMinutes(state, from, r->seconds);
}

void BM_WholeRunSample(benchmark::State& state) {
  WholeRun(state, Sample());
}
BENCHMARK(BM_WholeRunSample)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_WholeRunFifteenMinutes(benchmark::State& state) {
  WholeRun(state, FifteenMinutes());
}
BENCHMARK(BM_WholeRunFifteenMinutes)->Unit(benchmark::kMillisecond)->Iterations(2);

// Stages after decoding, on the sample decoded once.
void Stage(benchmark::State& state, const std::function<bool(TJob&)>& stage) {
  TJob job(Sample());
  if (!job.Run()) {
    state.SkipWithError("the run failed");
    return;
  }
  const std::clock_t from = std::clock();
  for (auto _ : state) {
    if (!stage(job)) state.SkipWithError("the stage failed");
  }
  ScaleToFifteenMinutes(state, from, 120);
}

// MakeImage, NOAA channels and telemetry, false colour and the overlay over them.
void BM_PostProcessing(benchmark::State& state) {
  Stage(state, [](TJob& job) { return job.Runner().Reprocess(); });
}
BENCHMARK(BM_PostProcessing)->Unit(benchmark::kMillisecond);

void BM_OverlayOverPictures(benchmark::State& state) {
  Stage(state, [](TJob& job) { return job.Runner().RenderOverlayAgain(); });
}
BENCHMARK(BM_OverlayOverPictures)->Unit(benchmark::kMillisecond);

void BM_SaveMainPng(benchmark::State& state) {
  Stage(state, [](TJob& job) {
    return SaveBitmapAsPNG(job.Runner().Pictures().main, job.Out("main.png"), "", "", "", "");
  });
}
BENCHMARK(BM_SaveMainPng)->Unit(benchmark::kMillisecond);

void BM_SaveFalseColourJpeg(benchmark::State& state) {
  Stage(state, [](TJob& job) {
    return SaveBitmapAsJPEG(job.Runner().Pictures().falseColour, job.Out("c.jpg"), 68, "");
  });
}
BENCHMARK(BM_SaveFalseColourJpeg)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
