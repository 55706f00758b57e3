#include "AptSignal.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace vivurozed::testing {

int AptChannelA(int line, const AptContent& c) {
  return c.switchLine >= 0 && line >= c.switchLine ? c.channelAAfterSwitch : c.channelA;
}

namespace {

std::uint8_t SpaceLevel(int sensor, const AptContent& c) {
  return sensor >= 3 && sensor <= 5 ? c.spaceIR : c.spaceVisible;
}

}  // namespace

std::uint8_t AptWedgeValue(int wedge, const AptContent& c, bool channelB) {
  if (wedge >= 1 && wedge <= 8) return static_cast<std::uint8_t>(std::min(255, 32 * wedge - 1));
  switch (wedge) {
    case 9:
      return 0;
    case 10:
    case 11:
    case 12:
    case 13:
      return c.prt[static_cast<std::size_t>(wedge - 10)];
    case 14:
      return c.patch;
    case 15:
      return channelB ? c.backScanB : c.backScanA;
    default:
      return AptWedgeValue(channelB ? c.channelB : c.channelA, c, channelB);
  }
}

std::vector<std::uint8_t> AptLineWords(int line, const AptContent& c) {
  std::vector<std::uint8_t> w(kAptWordsPerLine, 0);
  // Sync A: 4 low words, 7 cycles of 2 high and 2 low, then low.
  for (int k = 0; k < 7; ++k) w[kAptSyncA + 4 + 4 * k] = w[kAptSyncA + 5 + 4 * k] = 255;
  // Sync B: (4 low words in the standard format) 7 cycles of 3 high and 2 low, then low.
  const int lead = c.standardFormat ? 4 : 0;
  for (int k = 0; k < 7; ++k) {
    for (int j = 0; j < 3; ++j) w[kAptSyncB + lead + 5 * k + j] = 255;
  }
  AptContent now = c;
  now.channelA = AptChannelA(line, c);
  if (c.standardFormat) {
    const int n = c.linesPerMinuteMarker;
    const int m = n > 0 ? ((line % n) + n) % n : -1;
    const bool marker = m >= 0 && m < 4;
    const std::uint8_t markerLevel = m < 2 ? 0 : 255;
    std::fill_n(w.begin() + kAptSpaceA, 47, marker ? markerLevel : SpaceLevel(now.channelA, c));
    std::fill_n(w.begin() + kAptSpaceB, 47, marker ? markerLevel : SpaceLevel(c.channelB, c));
  } else {
    const bool marker = c.linesPerMinuteMarker > 0 && (line % c.linesPerMinuteMarker) < 2;
    std::fill_n(w.begin() + kAptSpaceA, 47, marker ? 255 : 0);
    std::fill_n(w.begin() + kAptSpaceB, 47, marker ? 0 : 255);
  }
  for (int col = 0; col < kAptImageWords; ++col) {
    w[kAptImageA + col] = c.imageA(line, col);
    w[kAptImageB + col] = c.imageB(line, col);
  }
  const int frameLine = ((line % kAptLinesPerFrame) + kAptLinesPerFrame) % kAptLinesPerFrame;
  const int wedge = frameLine / 8 + 1;
  std::fill_n(w.begin() + kAptTelemetryA, kAptTelemetryWords, AptWedgeValue(wedge, now, false));
  std::fill_n(w.begin() + kAptTelemetryB, kAptTelemetryWords, AptWedgeValue(wedge, c, true));
  return w;
}

std::vector<std::int16_t> AptSignal(const AptOptions& o) {
  const auto n = static_cast<std::size_t>(std::llround(o.seconds * o.sampleRate));
  std::vector<std::int16_t> out(n);
  const double wps = kAptWordsPerSecond * (1 + o.wordRatePpm * 1e-6);
  std::mt19937 rng(o.seed);
  const bool noisy = std::isfinite(o.snrDb);
  // SNR against the mean carrier power at mid grey.
  const double sigma = noisy ? o.peak * 0.49 / std::sqrt(2.0) / std::pow(10.0, o.snrDb / 20) : 0;
  std::normal_distribution<double> noise(0.0, sigma > 0 ? sigma : 1.0);
  const double fadeGain = std::pow(10.0, -o.fadeDepthDb / 20);

  int cachedLine = std::numeric_limits<int>::min();
  std::vector<std::uint8_t> words;
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / o.sampleRate;
    const double wordPos = o.startWord + t * wps;
    const auto word = static_cast<long long>(std::floor(wordPos));
    const int line = o.firstLine + static_cast<int>(word / kAptWordsPerLine);
    if (line != cachedLine) {
      words = AptLineWords(line, o.content);
      cachedLine = line;
    }
    const double w = words[static_cast<std::size_t>(word % kAptWordsPerLine)];
    double a = o.peak * (0.06 + 0.86 * w / 255);
    if (t >= o.fadeStart && t < o.fadeStart + o.fadeLength) a *= fadeGain;
    double s = o.envelopeOnly ? a : a * std::sin(2 * std::numbers::pi * o.carrierHz * t);
    if (noisy) s += noise(rng);
    out[i] = static_cast<std::int16_t>(std::clamp(std::lround(s), -32768L, 32767L));
  }
  return out;
}

}  // namespace vivurozed::testing
