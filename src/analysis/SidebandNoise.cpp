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
constexpr int kSettle = 256;  // room for the filters' taps at the block's ends
// A read delivers whole buffers until it has more than it asked for: two
// buffers, two lines and room at the ends.
constexpr int kBuffer = 5513 + kSettle;
constexpr int kBlocks = 15;
constexpr int kEnvelopeTaps = 21, kBandTaps = 127;

// The real input, as it arrives.
class TSampleStore : public TSignalProcessor {
 public:
  void Process(SampleBlock block) override {
    for (const auto& v : block) values_.push_back(v.real());
  }
  std::vector<float>& Values() { return values_; }

 private:
  std::vector<float> values_;
};

std::vector<float> ReadBlock(const std::string& fileName, int start) {
  TSignalSource source;
  TSampleStore store;
  source.SetAGC(false);
  source.SetChannelSelect(chSum);
  source.SetBufferSamples(kBuffer);
  source.SetDataSink(&store);
  source.SetSampleRate(kRate);
  source.ReadFile(fileName, kBuffer, start);
  return std::move(store.Values());
}

// The quadrature band-pass of the decoder, applied only where asked.
class TBand {
 public:
  TBand(int centre, int bandwidth, int taps) {
    TSignalHilbertBPF design;
    design.SetSampleRate(kRate);
    design.SetCarrierFrequency(centre);
    design.SetFilterTaps(taps);
    design.SetBandwidth(bandwidth);
    const auto& f = design.Filter();
    i_.assign(f.TapSet1().begin(), f.TapSet1().begin() + f.Taps());
    q_.assign(f.TapSet2().begin(), f.TapSet2().begin() + f.Taps());
  }
  int Half() const { return static_cast<int>(i_.size()) / 2; }
  // |output|^2 centred on sample j (Half() <= j < x.size() - Half()).
  double Power(const std::vector<float>& x, std::size_t j) const {
    const float* p = x.data() + j - static_cast<std::size_t>(Half());
    float si = 0, sq = 0;
    for (std::size_t k = 0; k < i_.size(); ++k) {
      si += i_[k] * p[k];
      sq += q_[k] * p[k];
    }
    return double(si) * si + double(sq) * sq;
  }

 private:
  std::vector<float> i_, q_;
};

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
  const TBand envelope(2400, 1350, kEnvelopeTaps), lower(2400 - 1750, 250, kBandTaps),
      upper(2400 + 1750, 250, kBandTaps), empty(5000, 250, kBandTaps);
  double sum = 0;
  int count = 0;
  std::vector<double> level;
  for (int b = 0; b < kBlocks; ++b) {
    const int start =
        static_cast<int>((static_cast<long long>(frameCount) - 2 * kBuffer) * b / (kBlocks - 1));
    const std::vector<float> x = ReadBlock(fileName, start);
    if (x.size() < 2 * kBuffer) continue;
    level.assign(x.size(), 0.0);
    const auto edge = static_cast<std::size_t>(envelope.Half());
    for (std::size_t j = edge; j + edge < x.size(); ++j) level[j] = std::sqrt(envelope.Power(x, j));
    const double lineStart = LineStart(level);
    // A band 250 Hz wide changes little from one sample to the next few.
    double outer = 0, noise = 0;
    for (std::size_t j = kSettle; j + kSettle < x.size(); j += 4) {
      if (!InPicture(static_cast<double>(j), lineStart)) continue;
      outer += lower.Power(x, j) + upper.Power(x, j);
      noise += 2 * empty.Power(x, j);
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
