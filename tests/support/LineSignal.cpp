#include "LineSignal.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace vivurozed::testing {

std::vector<std::int16_t> LineSignal(const LineSignalOptions& o) {
  const auto n = static_cast<std::size_t>(std::llround(o.seconds * o.sampleRate));
  std::vector<std::int16_t> out(n);
  std::mt19937 rng(o.seed);
  std::normal_distribution<double> noise(0.0, o.noise > 0 ? o.noise : 1.0);
  const double period = 1.0 / o.linesPerSecond;
  for (std::size_t i = 0; i < n; ++i) {
    const double t = o.startOffset + static_cast<double>(i) / o.sampleRate;
    const int line = static_cast<int>(std::floor(t / period));
    double s = o.peak * o.level(line, t - line * period);
    if (o.noise > 0) s += noise(rng);
    out[i] = static_cast<std::int16_t>(std::clamp(std::lround(s), -32768L, 32767L));
  }
  return out;
}

double SquareBurst(double t, double t0, double hz, int cycles) {
  const double phase = (t - t0) * hz;
  if (phase < 0 || phase >= cycles) return -1;
  return phase - std::floor(phase) < 0.5 ? 1 : 0;
}

}  // namespace vivurozed::testing
