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
