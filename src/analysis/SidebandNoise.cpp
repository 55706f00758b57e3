#include "analysis/SidebandNoise.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "signal/SignalHilbert.h"
#include "signal/SignalProcessing.h"

namespace vivurozed {

namespace {

constexpr int kRate = 11025;
constexpr int kBlock = 4096;
constexpr int kBlocks = 15;
constexpr int kSettle = 256;  // past the filter's 127 taps

// Mean power of what reaches it, past the filter's settling.
class TPowerMeter : public TSignalProcessor {
 public:
  void Process(SampleBlock block) override {
    for (std::size_t i = kSettle; i < block.size(); ++i) sum_ += std::norm(block[i]);
    count_ += block.size() > kSettle ? block.size() - kSettle : 0;
  }
  double Power() const { return count_ ? sum_ / static_cast<double>(count_) : 0.0; }

 private:
  double sum_ = 0;
  std::size_t count_ = 0;
};

double BandPower(const std::string& fileName, int start, int centre) {
  TSignalSource source;
  TSignalHilbertBPF band;
  TPowerMeter meter;
  source.SetAGC(false);
  source.SetChannelSelect(chSum);
  source.SetBufferSamples(kBlock);
  source.SetDataSink(&band);
  band.SetDataSink(&meter);
  source.SetSampleRate(kRate);
  band.SetCarrierFrequency(centre);
  band.SetFilterTaps(127);
  band.SetBandwidth(250);
  source.ReadFile(fileName, kBlock, start);
  return meter.Power();
}

}  // namespace

std::optional<double> OuterSidebandRatioDb(const std::string& fileName, int frameCount) {
  if (frameCount < 2 * kBlock) return std::nullopt;
  std::vector<double> ratios;
  for (int b = 0; b < kBlocks; ++b) {
    const int start =
        static_cast<int>((static_cast<long long>(frameCount) - kBlock) * b / (kBlocks - 1));
    const double outer =
        BandPower(fileName, start, 2400 - 1750) + BandPower(fileName, start, 2400 + 1750);
    const double noise = 2 * BandPower(fileName, start, 5000);
    if (outer > 0 && noise > 0) ratios.push_back(outer / noise);
  }
  if (ratios.empty()) return std::nullopt;
  const auto mid = ratios.begin() + static_cast<std::ptrdiff_t>(ratios.size() / 2);
  std::nth_element(ratios.begin(), mid, ratios.end());
  return 10.0 * std::log10(*mid);
}

}  // namespace vivurozed
