// How soon a line appears after its audio has arrived, in a live run fed
// in real time by a sound card that hands over 1024 frames at a time. The
// two-minute sample is played once with the satellite type given (decoding
// from the first second) and once with the run listening first.
// Counters: latency in milliseconds from the arrival of a line's last
// sample to the line being shown (mean, 95th percentile, largest), and,
// when listening, the audio seconds until the first line.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "QuietRunHost.h"
#include "app/MainForm.h"
#include "platform/Folders.h"
#include "signal/CaptureInput.h"

namespace {

using namespace vivurozed;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

std::vector<std::uint8_t> SampleSound() {
  for (const fs::path& folder : ShippedDataFolders()) {
    std::ifstream in(folder / "samples" / "noaa15-excerpt-2min.wav", std::ios::binary);
    if (!in) continue;
    std::vector<std::uint8_t> wav((std::istreambuf_iterator<char>(in)), {});
    return std::vector<std::uint8_t>(wav.begin() + 44, wav.end());
  }
  return {};
}

// Plays 16-bit mono at 11025 Hz in real time and notes when each byte came.
class RealTimeCard : public TCaptureDevice {
 public:
  explicit RealTimeCard(std::vector<std::uint8_t> sound) : sound_(std::move(sound)) {}
  ~RealTimeCard() override {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  std::atomic<bool> done = false;
  // When the byte at `offset` had arrived.
  Clock::time_point ArrivalOf(std::size_t offset) {
    std::lock_guard lock(mutex_);
    const auto it = std::lower_bound(arrivals_.begin(), arrivals_.end(), offset,
                                     [](const std::pair<std::size_t, Clock::time_point>& a,
                                        std::size_t o) { return a.first <= o; });
    return it == arrivals_.end() ? Clock::time_point::max() : it->second;
  }
  int Open(const TWaveFormat&, TCaptureListener& l) override {
    listener_ = &l;
    return 0;
  }
  std::string ErrorText(int) const override { return "none"; }
  void Prepare(TWaveHeader&) override {}
  void Unprepare(TWaveHeader&) override {}
  void AddBuffer(TWaveHeader& h) override { buffers_.Add(h); }
  void Start() override {
    thread_ = std::thread([this] {
      const auto t0 = Clock::now();
      constexpr std::size_t kPiece = 2048;  // 1024 frames
      for (std::size_t at = 0; at < sound_.size() && !stop_; at += kPiece) {
        const std::size_t end = std::min(at + kPiece, sound_.size());
        std::this_thread::sleep_until(
            t0 + std::chrono::microseconds(static_cast<long long>(end / 2 * 1e6 / 11025)));
        {
          std::lock_guard lock(mutex_);
          arrivals_.emplace_back(end, Clock::now());
        }
        buffers_.Deliver(std::span(sound_).subspan(at, end - at), *listener_);
      }
      done = true;
    });
  }
  void Stop() override {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  void Reset() override { buffers_.Reset(*listener_); }
  void Close() override { listener_->CaptureClosed(); }

 private:
  std::vector<std::uint8_t> sound_;
  TCaptureListener* listener_ = nullptr;
  TCaptureBuffers buffers_;
  std::thread thread_;
  std::atomic<bool> stop_ = false;
  std::mutex mutex_;
  std::vector<std::pair<std::size_t, Clock::time_point>> arrivals_;
};

class Host : public testing::QuietRunHost {
 public:
  std::function<bool()> stop;
  std::function<void(int)> line;
  bool StopRequested() override { return stop(); }
  void LineDecoded(int row, std::span<const std::uint8_t>) override { line(row); }
};

void BM_LiveLineLatency(benchmark::State& state) {
  const bool listen = state.range(0) != 0;
  const fs::path folder = fs::temp_directory_path() / "vivurozed-latency";
  fs::create_directories(folder);
  TSettingsStore::SetFolder(folder / "settings");
  SetUserDataFolder(folder / "data");
  auto store = std::make_shared<TSettingsStore>(SoftwareKeyPath(kProgramName));
  std::vector<double> latencies;
  double firstLineAudio = 0;
  for (auto _ : state) {
    auto owned = std::make_unique<RealTimeCard>(SampleSound());
    RealTimeCard& card = *owned;
    TCaptureInput input(std::move(owned), "real-time card");
    Host host;
    TProcessingRun run(host, store);
    if (!listen) run.Options().forcedType = dpNOAAapt;
    host.stop = [&] { return card.done && input.QueuedBytes() == 0; };
    host.line = [&](int row) {
      const auto now = Clock::now();
      // The line's last sample, in bytes of 16-bit mono.
      const double end = run.Decoder().FirstLineSeconds() + (row + 1) / 2.0;
      const auto offset = static_cast<std::size_t>(end * 11025) * 2;
      if (row == 0) firstLineAudio = static_cast<double>(input.ReceivedBytes()) / 22050;
      const auto arrived = card.ArrivalOf(offset);
      // Lines decoded from audio heard while the run was still listening
      // were waiting for the analysis, not for the chain.
      if (arrived <= now && !(listen && end < firstLineAudio))
        latencies.push_back(std::chrono::duration<double, std::milli>(now - arrived).count());
    };
    TLiveRunOptions live;
    live.recordingFolder = folder.string();
    run.LiveRun(input, live);
  }
  std::sort(latencies.begin(), latencies.end());
  if (latencies.empty()) return;
  double sum = 0;
  for (double l : latencies) sum += l;
  state.counters["lines"] = static_cast<double>(latencies.size());
  state.counters["mean_ms"] = sum / static_cast<double>(latencies.size());
  state.counters["p95_ms"] = latencies[latencies.size() * 95 / 100];
  state.counters["max_ms"] = latencies.back();
  if (listen) state.counters["first_line_after_s"] = firstLineAudio;
  fs::remove_all(folder);
}
BENCHMARK(BM_LiveLineLatency)
    ->ArgName("listen")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
