// The sync templates of the other formats, on envelopes whose sync positions
// are known: Meteor bursts, the Sich pulse, the Sich-600 burst, the WEFAX
// edge and the geostationary start sequence with its subcarrier line clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "LineSignal.h"
#include "decode/SignalVideoDecode.h"

namespace vivurozed {
namespace {

using testing::LineSignal;
using testing::LineSignalOptions;
using testing::SquareBurst;

constexpr int kRate = 11025;
constexpr double kPi = std::numbers::pi;

void Decode(TSatelliteVideoDecoder& d, const std::vector<TSample>& samples, int blockSize = 2048) {
  d.SetTotalSamples(static_cast<int>(samples.size()));
  d.BeginData();
  std::vector<TSample> block;
  for (std::size_t pos = 0; pos < samples.size(); pos += static_cast<std::size_t>(blockSize)) {
    const auto end =
        samples.begin() + static_cast<std::ptrdiff_t>(std::min(samples.size(), pos + blockSize));
    block.assign(samples.begin() + static_cast<std::ptrdiff_t>(pos), end);
    d.DataIn(nullptr, block);
  }
  d.EndData();
}

std::vector<TSample> Envelope(const std::vector<std::int16_t>& s) {
  std::vector<TSample> out(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) out[i] = TSample(s[i], 0);
  return out;
}

// A smooth picture level that never makes a sync-like pattern.
double Picture(int line, double t) {
  return 0.45 + 0.2 * std::sin(0.37 * line + 9 * t);
}

// The column of each stored row where the level first crosses from below to
// above `threshold` inside [from, to).
std::vector<int> RisingEdges(const TIplImage& image, int from, int to, int threshold) {
  std::vector<int> cols;
  for (int y = 0; y < image.Height(); ++y) {
    const std::uint16_t* r = image.Row16(y);
    int col = -1;
    for (int x = std::max(from, 1); x < std::min(to, image.Width()); ++x) {
      if (r[x - 1] < threshold && r[x] >= threshold) {
        col = x;
        break;
      }
    }
    cols.push_back(col);
  }
  return cols;
}

void ExpectSteady(const std::vector<int>& cols, int tolerance) {
  ASSERT_FALSE(cols.empty());

  const auto [lo, hi] = std::minmax_element(cols.begin(), cols.end());
  EXPECT_GE(*lo, 0) << "an edge went missing";
  EXPECT_LE(*hi - *lo, tolerance);
}

TEST(SyncFormats, MeteorBurstLocksOnItsStartEvenWithBoost) {
  // 17 cycles of 256 Hz at 0.1 s into each line. With a 20 % boost the
  // threshold (0.5) lets a match two cycles short through; the start-of-burst
  // test must still bring the lock to the burst's first cycle.
  LineSignalOptions o;
  o.seconds = 20;
  o.noise = 300;
  o.level = [](int line, double t) {
    const double b = SquareBurst(t, 0.1, 256, 17);
    return b >= 0 ? b : Picture(line, t);
  };
  std::vector<int> firstColumns;
  for (float boost : {1.0f, 1.2f}) {
    TSatelliteVideoDecoder d;
    d.SetDecodeParameters(dpMeteor221);
    d.SetSyncBoost(boost);
    Decode(d, Envelope(LineSignal(o)));
    ASSERT_NE(d.Image(), nullptr);
    EXPECT_GE(d.Image()->Height(), 36);
    // The stored line begins two samples after the first burst cycle rises,
    // so the next line's burst begins just before the row ends.
    const auto cols = RisingEdges(*d.Image(), 0, d.Image()->Width(), 12000);
    ExpectSteady(cols, 2);
    firstColumns.push_back(cols[0]);
  }
  EXPECT_EQ(firstColumns[0], firstColumns[1]);
}

TEST(SyncFormats, MeteorMidLineSyncStoresFromSyncToSync) {
  LineSignalOptions o;
  o.seconds = 12;
  o.level = [](int line, double t) {
    const double b = SquareBurst(t, 0.2, 256, 12);
    return b >= 0 ? b : Picture(line, t);
  };
  TSatelliteVideoDecoder d;
  d.SetDecodeParameters(dpMeteor35);
  Decode(d, Envelope(LineSignal(o)));
  ASSERT_NE(d.Image(), nullptr);
  // 24 line periods: the search, the first partial line (never stored) and
  // the odd-line rule cost the rest.
  EXPECT_GE(d.Image()->Height(), 20);
  EXPECT_LE(d.Image()->Height(), 22);
  // A stored line starts 11 of the 12 burst cycles after one sync (inside the
  // last cycle, which is high) and runs to that point of the next: the next
  // burst rises 11 cycles before the row ends.
  const double cycle = kRate / 256.0;
  const auto cols = RisingEdges(*d.Image(), 1, d.Image()->Width(), 12000);
  ExpectSteady(cols, 2);
  EXPECT_NEAR(cols[0], kRate / 2.0 - 11 * cycle - 2, 3);
}

TEST(SyncFormats, SichPulseAndSich600Burst) {
  // Sich: low 22 ms, high 11 ms, low 20 ms, then picture, four lines a second.
  LineSignalOptions sich;
  sich.linesPerSecond = 4;
  sich.seconds = 8;
  sich.noise = 200;
  sich.level = [](int line, double t) {
    if (t < 0.022) return 0.05;
    if (t < 0.033) return 0.95;
    if (t < 0.053) return 0.05;
    return Picture(line, t);
  };
  TSatelliteVideoDecoder d;
  d.SetDecodeParameters(dpSich);
  Decode(d, Envelope(LineSignal(sich)));
  ASSERT_NE(d.Image(), nullptr);
  EXPECT_GE(d.Image()->Height(), 28);
  // The line starts two samples after the template's best match, with the
  // 22 ms low: the pulse rises 22 ms into the row.
  auto cols = RisingEdges(*d.Image(), 1, kRate / 1000 * 40, 6000);
  ExpectSteady(cols, 2);
  EXPECT_NEAR(cols[0], 0.022 * kRate - 2, 3);

  // Sich-600: 7 cycles of 600 Hz behind 32 ms the template ignores.
  LineSignalOptions s6 = sich;
  s6.level = [](int line, double t) {
    const double b = SquareBurst(t, 0.05, 600, 7);
    return b >= 0 ? b : Picture(line, t);
  };
  TSatelliteVideoDecoder d6;
  d6.SetDecodeParameters(dpSich6);
  Decode(d6, Envelope(LineSignal(s6)));
  ASSERT_NE(d6.Image(), nullptr);
  EXPECT_GE(d6.Image()->Height(), 28);
  // The burst starts 32 ms into the template, so 32 ms (less two) into a row.
  cols = RisingEdges(*d6.Image(), 1, d6.Image()->Width(), 12000);
  ExpectSteady(cols, 2);
  EXPECT_NEAR(cols[0], kRate * 32 / 1000 - 2, 3);
}

TEST(SyncFormats, WefaxEdgeTemplate) {
  // A dark-to-bright edge at 0.05 s into each line, four lines a second.
  LineSignalOptions o;
  o.linesPerSecond = 4;
  o.seconds = 10;
  o.noise = 300;
  o.level = [](int line, double t) {
    if (t >= 0.04 && t < 0.05) return 0.02;
    if (t >= 0.05 && t < 0.06) return 0.98;
    return Picture(line, t);
  };
  TSatelliteVideoDecoder d;
  d.SetDecodeParameters(dpWEFAX);
  Decode(d, Envelope(LineSignal(o)));
  ASSERT_NE(d.Image(), nullptr);
  EXPECT_GE(d.Image()->Height(), 36);
  EXPECT_EQ(d.SyncWindow(), 10);
  // The template's bright half starts L/2 after its start: the edge lies
  // near column L/2 - 2 of each row.
  const int half = d.SyncTemplateLength() / 2;
  const auto cols = RisingEdges(*d.Image(), 0, 3 * half, 8000);
  ExpectSteady(cols, 2);
  EXPECT_NEAR(cols[5], half - 2, 3);
}

TEST(SyncFormats, GeostationaryStartSequenceLocksTheSubcarrierClock) {
  // An 80 Hz edge, then the start tones (high, low, high, low), then lines
  // timed by the subcarrier alone: 1200 zero crossings of 2400 Hz a line.
  const double edge = 0.5, high1 = 0.6, low1 = 1.2, high2 = 2.0, low2 = 2.5, end = 9.0;
  const auto n = static_cast<std::size_t>(end * kRate);
  std::vector<TSample> s(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / kRate;
    double level = 0.4;
    if (t >= edge - 1.0 / 160 && t < edge) level = 0.0;
    if (t >= edge && t < edge + 1.0 / 160) level = 1.0;
    if (t >= high1 && t < low1) level = 1.0;
    if (t >= low1 && t < high2) level = 0.05;
    if (t >= high2 && t < low2) level = 1.0;
    if (t >= low2) level = 0.05 + 0.5 * (std::fmod(t - low2, 0.25) > 0.125);  // a picture
    s[i] = TSample(static_cast<float>(16000 * level),
                   static_cast<float>(8000 * std::sin(2 * kPi * 2400 * t + 0.3)));
  }
  TSatelliteVideoDecoder d;
  d.SetDecodeParameters(dpMeteosat);
  TDiagnostics log;
  d.Log = &log;
  Decode(d, s);
  ASSERT_NE(d.Image(), nullptr);
  // (9 - 2.5) s at four lines a second, less the longer first line.
  EXPECT_GE(d.Image()->Height(), 24);
  EXPECT_LE(d.Image()->Height(), 26);
  EXPECT_NEAR(d.MeasuredSampleRate(), kRate, 1.0);
  ASSERT_FALSE(log.Lines().empty());
  EXPECT_EQ(log.Lines()[0], "GOES/GMS measured sample rate: 11025.0");
  // Lines of exactly 0.25 s: the picture's half-line steps stay in place.
  const auto cols = RisingEdges(*d.Image(), 0, d.Image()->Width(), 8000);
  ExpectSteady(std::vector<int>(cols.begin() + 1, cols.end()), 2);
}

}  // namespace
}  // namespace vivurozed
