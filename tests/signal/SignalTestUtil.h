// Signal makers and block feeding shared by the signal chain tests.
#pragma once

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

#include "signal/SignalProcessing.h"

namespace vivurozed::signaltest {

constexpr double kPi = std::numbers::pi;
constexpr int kRate = 11025;

// Real samples f(i), imaginary parts 0.
inline std::vector<TSample> Signal(int count, const std::function<double(int i)>& f) {
  std::vector<TSample> s(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) s[static_cast<std::size_t>(i)] = TSample(float(f(i)), 0.0f);
  return s;
}

inline std::vector<TSample> Sine(double hz, int count, double amplitude = 1.0, int rate = kRate) {
  return Signal(count, [=](int i) { return amplitude * std::sin(2 * kPi * hz * i / rate); });
}

// The end of a chain: keeps every block it is handed.
class Collector : public TSignalProcessor {
 public:
  std::vector<std::vector<TSample>> blocks;
  int begins = 0, ends = 0;
  void BeginData() override { ++begins; }
  void EndData() override { ++ends; }
  std::vector<TSample> Samples() const {
    std::vector<TSample> all;
    for (const auto& b : blocks) all.insert(all.end(), b.begin(), b.end());
    return all;
  }

 protected:
  void Process(SampleBlock b) override { blocks.emplace_back(b.begin(), b.end()); }
};

// Feeds the signal in blocks of the given lengths, cycling through them.
inline void Feed(TSignalProcessor& p, std::vector<TSample>& s, const std::vector<int>& blocks) {
  std::size_t at = 0;
  for (std::size_t b = 0; at < s.size(); ++b) {
    const auto n =
        std::min<std::size_t>(static_cast<std::size_t>(blocks[b % blocks.size()]), s.size() - at);
    p.DataIn(nullptr, SampleBlock(s.data() + at, n));
    at += n;
  }
}

}  // namespace vivurozed::signaltest
