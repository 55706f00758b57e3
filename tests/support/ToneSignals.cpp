#include "ToneSignals.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace vivurozed::testing {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kBlack = 0.03;

std::int16_t Clip(double s) {
  return static_cast<std::int16_t>(std::clamp(std::lround(s), -32768L, 32767L));
}

}  // namespace

ToneLayout LayoutOf(ToneFamily family) {
  switch (family) {
    case ToneFamily::Meteor35:
      return {2.0, 256.0, kMeteorBurst, kMeteorBurst};
    case ToneFamily::Meteor221:
      return {2.0, 256.0, 0.09, 0.09};
    case ToneFamily::Resurs:
      return {2.0, 256.0, kMeteorBurst, kMeteorBurst + 0.4128};
    case ToneFamily::Okean:
      return {4.0, 1200.0, 50 / 1200.0, -1};
    case ToneFamily::OkeanO:
      return {4.0, 1200.0, 12 / 1200.0, -1, 4, 0.06};
    case ToneFamily::Sich600:
      return {4.0, 600.0, 13 / 600.0, -1};
    case ToneFamily::Meteosat:
      return {4.0, 840.0, 7 / 840.0, -1};
    case ToneFamily::DoubleRate:
      return {4.0, 0.0, 0.02, -1};
  }
  return {2.0, 0.0, 0.0, -1};
}

double ToneLevel(const ToneLayout& layout, int line, double t) {
  if (t < layout.burst) {
    if (layout.toneHz > 0) return 0.5 - 0.5 * std::cos(2 * kPi * layout.toneHz * t);
    return t < layout.burst / 2 ? kBlack : 1.0;
  }
  for (int k = 1; k < layout.burstCount; ++k) {
    const double from = k * layout.burstSpacing;
    if (t >= from && t < from + layout.burst)
      return 0.5 - 0.5 * std::cos(2 * kPi * layout.toneHz * (t - from));
  }
  if (layout.wedgeStart >= 0 && t >= layout.wedgeStart && t < layout.wedgeStart + 8 * kWedgeStep) {
    const int step = static_cast<int>((t - layout.wedgeStart) / kWedgeStep);
    return (7 - std::min(step, 7)) / 8.0;
  }
  // A short black gap after the marker, then a picture that drifts slowly
  // from line to line.
  const double period = 1.0 / layout.linesPerSecond;
  const double gap = 0.01;
  if (t < layout.burst + gap) return kBlack;
  const double u = (t - layout.burst - gap) / (period - layout.burst - gap);
  return std::clamp(0.45 + 0.15 * std::sin(2 * kPi * (2.0 * u + line / 200.0)) +
                        0.06 * std::sin(2 * kPi * (13.0 * u - line / 90.0)),
                    0.0, 1.0);
}

std::vector<std::int16_t> ToneSignal(const ToneSignalOptions& o) {
  const ToneLayout layout = LayoutOf(o.family);
  const auto n = static_cast<std::size_t>(std::llround(o.seconds * o.sampleRate));
  std::vector<std::int16_t> out(n);
  std::mt19937 rng(o.seed);
  const bool noisy = std::isfinite(o.snrDb);
  // The carrier's power at white is peak^2 / 2.
  const double deviation = noisy ? o.peak / std::sqrt(2.0) * std::pow(10.0, -o.snrDb / 20) : 1.0;
  std::normal_distribution<double> noise(0.0, deviation);
  const double period = 1.0 / layout.linesPerSecond;
  for (std::size_t i = 0; i < n; ++i) {
    const double time = static_cast<double>(i) / o.sampleRate;
    const double t = o.startOffset + time;
    const int line = static_cast<int>(std::floor(t / period));
    double s = o.peak * ToneLevel(layout, line, t - line * period) *
               std::sin(2 * kPi * o.carrierHz * time);
    if (noisy) s += noise(rng);
    out[i] = Clip(s);
  }
  return out;
}

std::vector<std::int16_t> NoiseSignal(int sampleRate, double seconds, double deviation,
                                      unsigned seed) {
  std::vector<std::int16_t> out(static_cast<std::size_t>(std::llround(seconds * sampleRate)));
  std::mt19937 rng(seed);
  std::normal_distribution<double> noise(0.0, deviation);
  for (auto& s : out) s = Clip(noise(rng));
  return out;
}

}  // namespace vivurozed::testing
