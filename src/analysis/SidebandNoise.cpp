#include "analysis/SidebandNoise.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "signal/SignalHilbert.h"
#include "signal/SignalProcessing.h"

namespace vivurozed {

namespace {

constexpr int kRate = 11025;
constexpr double kLine = kRate / 2.0;  // samples per line
constexpr double kWord = kLine / 2080;
constexpr int kSettle = 256;  // past the filters' 127 taps
// A read delivers whole buffers until it has more than it asked for: two
// buffers, two lines and the settling.
constexpr int kBuffer = 5513 + kSettle;
constexpr int kBlocks = 15;
constexpr int kEnvelopeTaps = 21, kBandTaps = 127;

class TSampleStore : public TSignalProcessor {
 public:
  explicit TSampleStore(bool envelope) : envelope_(envelope) {}
  void Process(SampleBlock block) override {
    for (const auto& v : block) values_.push_back(envelope_ ? std::abs(v) : std::norm(v));
  }
  const std::vector<double>& Values() const { return values_; }

 private:
  bool envelope_;
  std::vector<double> values_;
};

// The block's envelope, or its power in a band, sample by sample.
std::vector<double> Band(const std::string& fileName, int start, int centre, int bandwidth,
                         int taps, bool envelope) {
  TSignalSource source;
  TSignalHilbertBPF band;
  TSampleStore store(envelope);
  source.SetAGC(false);
  source.SetChannelSelect(chSum);
  source.SetBufferSamples(kBuffer);
  source.SetDataSink(&band);
  band.SetDataSink(&store);
  source.SetSampleRate(kRate);
  band.SetCarrierFrequency(centre);
  band.SetFilterTaps(taps);
  band.SetBandwidth(bandwidth);
  source.ReadFile(fileName, kBuffer, start);
  return store.Values();
}

// Where the block's first line starts: the place, within one line, whose
// envelope over two lines best matches the seven sync A pulses (4 words
// apart, high for 2) that open every line.
double LineStart(const std::vector<double>& envelope) {
  double best = -1e300, at = kSettle;
  for (int s = kSettle; s < kSettle + static_cast<int>(kLine); ++s) {
    double score = 0;
    for (int line = 0; line < 2; ++line) {
      for (int pulse = 0; pulse < 7; ++pulse) {
        const double first = s + line * kLine + (4 + 4 * pulse) * kWord;
        const auto high = static_cast<std::size_t>(first + kWord);
        const auto low = static_cast<std::size_t>(first + 3 * kWord);
        if (low < envelope.size()) score += envelope[high] - envelope[low];
      }
    }
    if (score > best) {
      best = score;
      at = s;
    }
  }
  return at;
}

// Whether a sample of the input lies within the picture of either channel
// (words 86 .. 995 and 1126 .. 2035), clear of the band filters' spread.
bool InPicture(double sample, double lineStart) {
  const double words = std::fmod(sample - lineStart + 4 * kLine, kLine) / kWord;
  constexpr double margin = kBandTaps / 2 / kWord + 1;
  return (words > 86 + margin && words < 995 - margin) ||
         (words > 1126 + margin && words < 2035 - margin);
}

}  // namespace

std::optional<double> OuterSidebandRatioDb(const std::string& fileName, int frameCount) {
  if (frameCount < 4 * kBuffer) return std::nullopt;
  double sum = 0;
  int count = 0;
  for (int b = 0; b < kBlocks; ++b) {
    const int start =
        static_cast<int>((static_cast<long long>(frameCount) - 2 * kBuffer) * b / (kBlocks - 1));
    const auto envelope = Band(fileName, start, 2400, 1350, kEnvelopeTaps, true);
    const auto lower = Band(fileName, start, 2400 - 1750, 250, kBandTaps, false);
    const auto upper = Band(fileName, start, 2400 + 1750, 250, kBandTaps, false);
    const auto empty = Band(fileName, start, 5000, 250, kBandTaps, false);
    const std::size_t n = std::min({envelope.size(), lower.size(), upper.size(), empty.size()});
    if (n < 2 * kBuffer) continue;
    // Each filter's output lags its input by half its taps.
    const double lineStart = LineStart(envelope) - kEnvelopeTaps / 2;
    double outer = 0, noise = 0;
    for (std::size_t i = kSettle; i < n; ++i) {
      if (!InPicture(static_cast<double>(i) - kBandTaps / 2, lineStart)) continue;
      outer += lower[i] + upper[i];
      noise += 2 * empty[i];
    }
    if (outer > 0 && noise > 0) {
      sum += outer / noise;
      ++count;
    }
  }
  if (count == 0) return std::nullopt;
  return 10.0 * std::log10(sum / count);
}

}  // namespace vivurozed
