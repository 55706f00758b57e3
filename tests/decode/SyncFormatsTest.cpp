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

using testing::LineSignalOptions;
using testing::SquareBurst;

constexpr int kRate = 11025;

// A smooth picture level that never makes a sync-like pattern.
double Picture(int line, double t) {
  return 0.45 + 0.2 * std::sin(0.37 * line + 9 * t);
}

// An envelope of `seconds` at `linesPerSecond` whose lines start with `sync`
// (a level, or below 0 for the picture).
std::vector<TSample> Lines(double linesPerSecond, double seconds, double noise,
                           double (*sync)(double t)) {
  LineSignalOptions o;
  o.linesPerSecond = linesPerSecond;
  o.seconds = seconds;
  o.noise = noise;
  o.level = [sync](int line, double t) {
    const double s = sync(t);
    return s >= 0 ? s : Picture(line, t);
  };
  const std::vector<std::int16_t> s = testing::LineSignal(o);
  return std::vector<TSample>(s.begin(), s.end());
}

// An 80 Hz edge, then the start tones (high, low, high, low), then lines
// timed by the subcarrier alone: 1200 zero crossings of 2400 Hz a line.
std::vector<TSample> GeostationaryStart() {
  const double edge = 0.5, high1 = 0.6, low1 = 1.2, high2 = 2.0, low2 = 2.5, end = 9.0;
  std::vector<TSample> s(static_cast<std::size_t>(end * kRate));
  for (std::size_t i = 0; i < s.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    double level = 0.4;
    if (t >= edge - 1.0 / 160 && t < edge) level = 0.0;
    if ((t >= edge && t < edge + 1.0 / 160) || (t >= high1 && t < low1)) level = 1.0;
    if (t >= low1 && t < high2) level = 0.05;
    if (t >= high2 && t < low2) level = 1.0;
    if (t >= low2) level = 0.05 + 0.5 * (std::fmod(t - low2, 0.25) > 0.125);  // a picture
    s[i] = TSample(static_cast<float>(16000 * level),
                   static_cast<float>(8000 * std::sin(2 * std::numbers::pi * 2400 * t + 0.3)));
  }
  return s;
}

// The column of each stored row from `firstRow` on where the level first
// crosses from below to above `threshold` inside [from, to).
std::vector<int> RisingEdges(const TIplImage& image, int firstRow, int from, int to,
                             int threshold) {
  std::vector<int> cols;
  for (int y = firstRow; y < image.Height(); ++y) {
    const std::uint16_t* r = image.Row16(y);
    int col = -1;
    for (int x = std::max(from, 1); x < std::min(to, image.Width()) && col < 0; ++x)
      if (r[x - 1] < threshold && r[x] >= threshold) col = x;
    cols.push_back(col);
  }
  return cols;
}

TEST(SyncFormats, EachFormatLocksOnItsSyncAndKeepsItInOneColumn) {
  const double meteorCycle = kRate / 256.0;
  const auto meteor = Lines(2, 20, 300, [](double t) { return SquareBurst(t, 0.1, 256, 17); });
  const struct {
    const char* name;
    TDecodeParameters type;
    float boost;
    std::vector<TSample> signal;
    int minRows, maxRows;
    int from, to, threshold;  // where each row's edge is sought, and its level
    double column;            // where it lies; NaN when not checked
    int firstRow;
  } formats[] = {
      // 17 cycles of 256 Hz 0.1 s into each line. With a 20 % boost the
      // threshold (0.5) lets a match two cycles short through; the
      // start-of-burst test must still bring the lock to the burst's first
      // cycle. The stored line begins two samples after that cycle rises, so
      // the second cycle rises a cycle less two samples in (a lock two
      // cycles early puts it two cycles further).
      {"Meteor 2-21", dpMeteor221, 1.0f, meteor, 36, 40, 0, kRate, 12000, meteorCycle - 2, 0},
      {"Meteor 2-21 boosted", dpMeteor221, 1.2f, meteor, 36, 40, 0, kRate, 12000, meteorCycle - 2,
       0},
      // A stored line starts 11 of the 12 burst cycles after one sync (inside
      // the last cycle, which is high) and runs to that point of the next.
      // 24 line periods: the search, the first partial line (never stored)
      // and the odd-line rule cost the rest.
      {"Meteor 3-5 mid-line sync", dpMeteor35, 1.0f,
       Lines(2, 12, 0, [](double t) { return SquareBurst(t, 0.2, 256, 12); }), 20, 22, 1, kRate,
       12000, kRate / 2.0 - 11 * meteorCycle - 2, 0},
      // Low 22 ms, high 11 ms, low 20 ms: the line starts two samples after
      // the template's best match, with the 22 ms low.
      {"Sich pulse", dpSich, 1.0f,
       Lines(4, 8, 200,
             [](double t) {
               return t < 0.022 ? 0.05 : t < 0.033 ? 0.95 : t < 0.053 ? 0.05 : -1.0;
             }),
       28, 32, 1, kRate / 1000 * 40, 6000, 0.022 * kRate - 2, 0},
      // 7 cycles of 600 Hz behind 32 ms the template ignores.
      {"Sich-600 burst", dpSich6, 1.0f,
       Lines(4, 8, 200, [](double t) { return SquareBurst(t, 0.05, 600, 7); }), 28, 32, 1, kRate,
       12000, kRate * 32 / 1000 - 2, 0},
      // A dark-to-bright edge 0.05 s into each line; the template's bright
      // half starts half its 1/120 s in.
      {"WEFAX edge", dpWEFAX, 1.0f,
       Lines(4, 10, 300,
             [](double t) {
               return t >= 0.04 && t < 0.05 ? 0.02 : t >= 0.05 && t < 0.06 ? 0.98 : -1.0;
             }),
       36, 40, 0, 3 * kRate / 240, 8000, kRate / 240 - 2, 0},
      // (9 - 2.5) s at four lines a second, less the longer first line; lines
      // of exactly 0.25 s keep the picture's half-line steps in place.
      {"geostationary start and subcarrier clock", dpMeteosat, 1.0f, GeostationaryStart(), 24, 26,
       0, kRate, 8000, NAN, 1},
  };
  for (const auto& f : formats) {
    SCOPED_TRACE(f.name);
    TSatelliteVideoDecoder d;
    d.SetDecodeParameters(f.type);
    d.SetSyncBoost(f.boost);
    TDiagnostics log;
    d.Log = &log;
    d.SetTotalSamples(static_cast<int>(f.signal.size()));
    d.BeginData();
    for (std::size_t pos = 0; pos < f.signal.size(); pos += 2048) {
      std::vector<TSample> block(
          f.signal.begin() + std::ptrdiff_t(pos),
          f.signal.begin() + std::ptrdiff_t(std::min(f.signal.size(), pos + 2048)));
      d.DataIn(nullptr, block);
    }
    d.EndData();
    ASSERT_NE(d.Image(), nullptr);
    EXPECT_GE(d.Image()->Height(), f.minRows);
    EXPECT_LE(d.Image()->Height(), f.maxRows);
    const auto cols = RisingEdges(*d.Image(), f.firstRow, f.from, f.to, f.threshold);
    ASSERT_FALSE(cols.empty());
    const auto [lo, hi] = std::minmax_element(cols.begin(), cols.end());
    EXPECT_GE(*lo, 0) << "an edge went missing";
    EXPECT_LE(*hi - *lo, 2);
    if (!std::isnan(f.column)) {
      EXPECT_NEAR(cols[cols.size() / 2], f.column, 3);
    }
    if (f.type == dpMeteosat) {
      EXPECT_NEAR(d.MeasuredSampleRate(), kRate, 1.0);
      ASSERT_FALSE(log.Lines().empty());
      EXPECT_EQ(log.Lines()[0], "GOES/GMS measured sample rate: 11025.0");
    }
  }
}

}  // namespace
}  // namespace vivurozed
