#include "decode/SignalVideoDecode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <numbers>
#include <streambuf>

#include "AptSignal.h"
#include "LineSignal.h"
#include "RecordingMessages.h"
#include "WavWriter.h"
#include "decode/NoaaStage.h"
#include "noaa/FalseColour.h"
#include "signal/SignalHilbert.h"
#include "signal/SignalProcessing.h"

namespace vivurozed {
namespace {

using testing::AptOptions;
using testing::AptSignal;
using testing::LineSignalOptions;
using testing::SquareBurst;

constexpr int kRate = 11025;

// Feeds samples (envelope values, or the envelope and the quadrature of the
// subcarrier) through the decoder the way the chain does.
template <class Sample>
void Decode(TSatelliteVideoDecoder& d, const std::vector<Sample>& samples, int blockSize = 2048) {
  d.SetTotalSamples(static_cast<int>(samples.size()));
  d.BeginData();
  std::vector<TSample> block;
  for (std::size_t pos = 0; pos < samples.size(); pos += static_cast<std::size_t>(blockSize)) {
    const std::size_t end = std::min(samples.size(), pos + static_cast<std::size_t>(blockSize));
    block.assign(samples.begin() + std::ptrdiff_t(pos), samples.begin() + std::ptrdiff_t(end));
    d.DataIn(nullptr, block);
  }
  d.EndData();
}

std::vector<std::int16_t> AptEnvelope(AptOptions o) {
  o.envelopeOnly = true;
  o.peak = 16000;
  return AptSignal(o);
}

// An APT envelope decoded as NOAA, with the decoder's log.
struct NoaaDecode {
  explicit NoaaDecode(const AptOptions& o, bool reSync = false) {
    decoder.SetDecodeParameters(dpNOAAapt);
    decoder.AttemptReSync = reSync;
    decoder.Log = &log;
    Decode(decoder, AptEnvelope(o));
  }
  const TIplImage* Image() const { return decoder.Image(); }
  TSatelliteVideoDecoder decoder;
  TDiagnostics log;
};

// Start column of a burst of 7 cycles (`high` words up, `low` words down)
// within columns [from, to) of a row read circularly, so that a burst
// straddling the start of the row is found whole.
int BurstColumn(const TIplImage& image, int row, int high, int low, int from, int to) {
  const std::uint16_t* r = image.Row16(row);
  const int w = image.Width();
  const double perWord = kRate / 4160.0;
  const int span = static_cast<int>(7 * (high + low) * perWord);
  int best = from;
  double bestScore = -1e300;
  for (int x = from; x < to; ++x) {
    double mean = 0;
    for (int i = 0; i < span; ++i) mean += r[((x + i) % w + w) % w];
    mean /= span;
    double score = 0;
    for (int i = 0; i < span; ++i) {
      const int word = static_cast<int>(i / perWord);
      score += (r[((x + i) % w + w) % w] - mean) * (word % (high + low) < high ? 1 : -1);
    }
    if (score > bestScore) {
      bestScore = score;
      best = x;
    }
  }
  return best;
}

// The receiving chain: source, quadrature AM detector and NOAA decoder.
void Chain(TSignalSource& source, TSignalHilbertAMDetectorQ& detector,
           TSatelliteVideoDecoder& decoder) {
  source.SetChannelSelect(chMonoToBoth);
  source.SetAGC(false);
  source.SetBufferSamples(2048);
  detector.SetSampleRate(kRate);
  detector.SetCarrierFrequency(2400);
  detector.SetFilterTaps(21);
  detector.SetBandwidth(1350);
  decoder.SetRXSampleRate(kRate);
  decoder.SetDecodeParameters(dpNOAAapt);
  source.SetDataSink(&detector);
  detector.SetDataSink(&decoder);
}

// A real NOAA 15 excerpt of the test data through the chain, the decoder
// set up by `setup`.
void DecodeExcerpt(const std::string& name, TSatelliteVideoDecoder& decoder,
                   const std::function<void()>& setup = {}) {
  TSignalSource source;
  TSignalHilbertAMDetectorQ detector;
  Chain(source, detector, decoder);
  if (setup) setup();
  source.ReadFile(std::string(VZ_TEST_DATA) + "/" + name);
}

// Channel B sync columns (7 cycles of 3 high and 2 low words) of every row,
// found independently of the decoder's template, and their spread around
// their median.
struct SyncSpread {
  int median = 0, worst = 0;
};
SyncSpread MeasureSyncB(const TIplImage& image, int firstRow = 0) {
  std::vector<int> cols;
  for (int y = firstRow; y < image.Height(); ++y)
    cols.push_back(BurstColumn(image, y, 3, 2, 0, image.Width()));
  std::vector<int> sorted = cols;
  std::sort(sorted.begin(), sorted.end());
  SyncSpread s;
  s.median = sorted[sorted.size() / 2];
  for (int c : cols) s.worst = std::max(s.worst, std::abs(c - s.median));
  return s;
}

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

TEST(DecodeParameters, TemplatesAndLineLengthsOfEachType) {
  TSatelliteVideoDecoder d;
  EXPECT_EQ(d.DecodeParameters(), dpMeteor35);
  const struct {
    TDecodeParameters type;
    bool use832;
    std::size_t templateLength;  // 0: not checked
    int lineLength;              // 0: not checked
  } types[] = {
      {dpNOAAapt, false, 74, 5512},
      {dpNOAAapt, true, 92, 0},
      {dpSich, false, kRate * 33 / 1000, 0},
      {dpSich6, false, kRate * 32 / 1000 + 7 * kRate / 600, 0},
      {dpWEFAX, false, kRate / 120, 0},
      {dpMeteor221, false, 0, kRate / 2 + 9},
      {dpResursO1N4, false, 0, kRate / 2 + 7},
  };
  for (const auto& t : types) {
    SCOPED_TRACE(::testing::Message() << t.type << " 832 Hz " << t.use832);
    d.SetUse832HzSync(t.use832);
    d.SetDecodeParameters(t.type);
    if (t.templateLength) {
      EXPECT_EQ(d.SyncTemplate().size(), t.templateLength);
    }
    if (t.lineLength) {
      EXPECT_EQ(d.LineLength(), t.lineLength);
    }
  }
  d.SetDecodeParameters(dpSich);
  EXPECT_FLOAT_EQ(d.SyncThreshold(), 0.975f);
  EXPECT_EQ(d.SyncTemplate()[0], -1.0f);
  EXPECT_EQ(d.SyncTemplate().back(), 1.0f);
  d.SetDecodeParameters(dpSich6);
  EXPECT_EQ(d.SyncTemplate()[0], 0.0f);  // 32 ms of silence first
  d.SetDecodeParameters(dpWEFAX);        // a dark-to-bright edge
  EXPECT_LT(d.SyncTemplate()[10], 0.0f);
  EXPECT_GT(d.SyncTemplate()[d.SyncTemplate().size() - 10], 0.0f);

  d.SetGamma(0.1f);
  EXPECT_FLOAT_EQ(d.Gamma(), 0.2f);
  d.SetGamma(7.0f);
  EXPECT_FLOAT_EQ(d.Gamma(), 5.0f);
  TDecodeParameters t;
  ASSERT_TRUE(DecodeParametersFromName("Sich600", t));
  EXPECT_EQ(t, dpSich6);
  EXPECT_FALSE(DecodeParametersFromName("noaa", t));
}

TEST(SatelliteVideoDecoder, AptStaysInOneColumnAndFollowsAClockErrorOfSomeHundredPpm) {
  const struct {
    double ppm, seconds, startWord, snrDb;
    int minRows, maxRows, worst;
  } cases[] = {
      // 60 line periods; the search and the first partial line cost one or two.
      {0, 30, 700, 30, 56, 60, 2},
      // 400 ppm drifts 2.2 samples a line; the line end follows it, so no row
      // strays from its neighbours by more than the window.
      {-400, 40, 0, 25, 76, 80, 4},
      {300, 40, 0, 25, 76, 80, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ppm);
    AptOptions o;
    o.seconds = c.seconds;
    o.wordRatePpm = c.ppm;
    o.startWord = c.startWord;
    o.snrDb = c.snrDb;
    NoaaDecode d(o);
    ASSERT_NE(d.Image(), nullptr);
    EXPECT_GE(d.Image()->Height(), c.minRows);
    EXPECT_LE(d.Image()->Height(), c.maxRows);
    EXPECT_EQ(d.Image()->Height() % 2, 0);
    EXPECT_EQ(d.Image()->Width(), 5512);
    const SyncSpread s = MeasureSyncB(*d.Image());
    EXPECT_LE(s.worst, c.worst);
    if (c.ppm == 0) {
      // A line starts two samples after the first high word of the sync A
      // burst (word 4), so sync B (word 1040) sits 1036 words in, less those two.
      EXPECT_NEAR(s.median, 1036 * kRate / 4160.0 - 2, 1.5);
      EXPECT_EQ(d.log.Lines(), (std::vector<std::string>{"Signal level is OK"}));
    }
  }
}

TEST(SatelliteVideoDecoder, AFadeNeitherStopsThePictureNorShiftsItsTimeScale) {
  AptOptions o;
  o.seconds = 40;
  o.snrDb = 25;
  o.fadeStart = 15;
  o.fadeLength = 4;
  o.fadeDepthDb = 60;  // the signal is gone: only noise remains
  for (bool reSync : {true, false}) {
    SCOPED_TRACE(reSync ? "relock" : "no relock");
    NoaaDecode d(o, reSync);
    ASSERT_NE(d.Image(), nullptr);
    std::vector<std::string> relocks;
    for (const auto& line : d.log.Lines())
      if (line.find("relock") != std::string::npos) relocks.push_back(line);
    ASSERT_EQ(relocks.empty(), !reSync);
    if (reSync) {
      EXPECT_EQ(relocks[0].rfind("NOAA sync loss at line ", 0), 0u) << relocks[0];
      EXPECT_NE(relocks[0].find("relock after"), std::string::npos) << relocks[0];
      // After the fade the sync is back in its column.
      EXPECT_LE(MeasureSyncB(*d.Image(), 2 * 21).worst, 2);
    }
    // Two lines a second across the gap.
    EXPECT_GE(d.Image()->Height(), 76);
    EXPECT_LE(d.Image()->Height(), 80);
  }
}

// The same samples in blocks of any size, and in blocks padded with garbage
// behind an end marker, give the same picture.
TEST(SatelliteVideoDecoder, BlockSizeAndEndMarkersDoNotChangeThePicture) {
  AptOptions o;
  o.seconds = 12;
  o.snrDb = 30;
  const auto s = AptEnvelope(o);
  TSatelliteVideoDecoder reference;
  reference.SetDecodeParameters(dpNOAAapt);
  Decode(reference, s);
  ASSERT_NE(reference.Image(), nullptr);
  for (int blockSize : {333, static_cast<int>(s.size()), -1000}) {
    SCOPED_TRACE(blockSize);
    TSatelliteVideoDecoder d;
    d.SetDecodeParameters(dpNOAAapt);
    if (blockSize > 0) {
      Decode(d, s, blockSize);  // the whole: far longer than the sample buffer
    } else {
      d.SetTotalSamples(static_cast<int>(s.size()));
      d.BeginData();
      for (std::size_t pos = 0; pos < s.size(); pos += 1000) {
        const std::size_t n = std::min<std::size_t>(1000, s.size() - pos);
        std::vector<TSample> block(n + 40, TSample(30000, 0));
        for (std::size_t i = 0; i < n; ++i) block[i] = TSample(s[pos + i], 0);
        const std::string marker = "DATASTREAM ";
        block[block.size() - 12] = TSample(static_cast<float>(n), 0);
        for (std::size_t i = 0; i < marker.size(); ++i)
          block[block.size() - 1 - i] = TSample(static_cast<float>(marker[i]) + 0.5f, 0);
        d.DataIn(nullptr, block);
      }
      d.EndData();
    }
    ASSERT_NE(d.Image(), nullptr);
    ASSERT_EQ(d.Image()->Height(), reference.Image()->Height());
    for (int y = 0; y < d.Image()->Height(); ++y) {
      ASSERT_EQ(0, std::memcmp(d.Image()->Row16(y), reference.Image()->Row16(y),
                               static_cast<std::size_t>(d.Image()->Width()) * 2))
          << "row " << y;
    }
  }
}

TEST(SatelliteVideoDecoder, KeepsAnEvenNumberOfLinesAndChecksTheLevel) {
  // A plain 1040 Hz sync train of 8 lines on a constant level: 7 whole lines
  // after the first sync. Most of a picture near the top of the range: the
  // receiver overdrives.
  const struct {
    std::int16_t level, high;
    const char* verdict;
  } cases[] = {{2000, 16000, "Signal level is OK"},
               {30000, 32767, "## Warning, signal level too high and may be clipping ##"}};
  for (const auto& c : cases) {
    std::vector<std::int16_t> s(static_cast<std::size_t>(kRate * 9 / 2), c.level);
    for (int line = 0; line <= 8; ++line)
      for (int i = 0; i < 74; ++i)
        s[static_cast<std::size_t>(line * kRate / 2 + 100 + i)] =
            std::sin(2 * M_PI * 1040.0 * i / kRate) > 0 ? c.high : 0;
    TSatelliteVideoDecoder d;
    d.SetDecodeParameters(dpNOAAapt);
    TDiagnostics log;
    d.Log = &log;
    Decode(d, s);
    ASSERT_NE(d.Image(), nullptr);
    EXPECT_EQ(d.Image()->Height(), 6);
    EXPECT_EQ(log.Lines().back(), c.verdict);
  }
}

TEST(SatelliteVideoDecoder, ProgressIsThrottledToOneCallPerHundredMilliseconds) {
  AptOptions o;
  o.seconds = 10;
  std::int64_t now = 0;
  TSatelliteVideoDecoder d;
  d.SetDecodeParameters(dpNOAAapt);
  d.SetTickSource([&] {
    now += 7;  // each look at the clock takes 7 ms
    return now;
  });
  std::vector<std::pair<TProgressKind, std::int64_t>> calls;
  std::vector<std::string> texts;
  d.SetOnProgress([&](TCustomVideoDecoder&, TProgressKind kind, const std::string& text, int) {
    calls.emplace_back(kind, now);
    texts.push_back(text);
  });
  Decode(d, AptEnvelope(o), 512);
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls[0].first, pkBegin);
  EXPECT_EQ(texts[0], "Find 7 cycles 1040 Hz sync");
  for (std::size_t i = 1; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].first, pkProgress);
    EXPECT_GE(calls[i].second - calls[i - 1].second, 100);
  }
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Process wave file"), texts.end());
}

TEST(SatelliteVideoDecoder, NoSyncGivesNoPicture) {
  std::vector<std::int16_t> noise(static_cast<std::size_t>(kRate * 5));
  std::uint32_t x = 1;
  for (auto& v : noise)
    v = static_cast<std::int16_t>(((x = x * 1664525u + 1013904223u) >> 16) % 8000);
  TSatelliteVideoDecoder d;
  d.SetDecodeParameters(dpNOAAapt);
  Decode(d, noise);
  EXPECT_EQ(d.Image(), nullptr);
  EXPECT_EQ(d.LineCount(), 0);
  EXPECT_EQ(d.State(), dsSearch);
}

TEST(SatelliteVideoDecoder, LoadsLineFilesPixelsAndBitmapsOfAnHourAtMost) {
  testing::TempDir dir;
  std::vector<std::uint8_t> bytes(1024 * 702);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i / 1024);
  testing::WriteBytes(dir / "pass.noa", bytes);
  TSatelliteVideoDecoder d, e;
  ASSERT_TRUE(d.LoadFromRawFile((dir / "pass.noa").string()));
  ASSERT_NE(d.Image(), nullptr);
  EXPECT_EQ(d.Image()->Height(), 700);  // the header record skipped, 701 made even
  EXPECT_EQ(d.Image()->Row16(0)[5], 1 * 64);
  double mean = 0;
  for (int y = 0; y < 700; ++y) mean += 64.0 * ((y + 1) % 256) / 700;
  EXPECT_NEAR(d.ColumnSums()[0], mean, 1e-2);

  bytes.resize(1024 * 700);  // not more than 700 records
  testing::WriteBytes(dir / "short.noa", bytes);
  EXPECT_FALSE(e.LoadFromRawFile((dir / "short.noa").string()));
  // An hour of lines at most, plus the header (sparse files keep this small).
  { std::ofstream huge(dir / "huge.noa", std::ios::binary); }
  std::filesystem::resize_file(dir / "huge.noa", 1024ull * 7202);
  EXPECT_FALSE(e.LoadFromRawFile((dir / "huge.noa").string()));
  std::filesystem::resize_file(dir / "huge.noa", 1024ull * 7201);
  EXPECT_TRUE(d.LoadFromRawFile((dir / "huge.noa").string()));
  EXPECT_EQ(d.Image()->Height(), 7200);
  EXPECT_FALSE(e.LoadFromRawFile((dir / "missing.noa").string()));
  EXPECT_EQ(e.Image(), nullptr);

  // Pictures: 60 rows at least, grey only, rows made even, levels x 64.
  std::vector<std::uint8_t> pixels(100 * 61, 3);
  EXPECT_FALSE(e.LoadFromPixels(100, 59, pixels, 100));
  EXPECT_FALSE(e.LoadFromBitmap(TExtBitmap(100, 59, pf8bit)));
  EXPECT_FALSE(e.LoadFromBitmap(TExtBitmap(100, 80, pf24bit)));
  ASSERT_TRUE(e.LoadFromPixels(100, 61, pixels, 100));
  EXPECT_EQ(e.Image()->Height(), 60);
  EXPECT_EQ(e.Image()->Row16(59)[99], 192);
  EXPECT_TRUE(e.FromImageFile());
  EXPECT_FLOAT_EQ(e.HighestLevel(), 16320.0f);
  TExtBitmap b(10, 61, pf8bit);
  b.ScanLine(3)[4] = 200;
  ASSERT_TRUE(d.LoadFromBitmap(b));
  EXPECT_EQ(d.Image()->Height(), 60);
  EXPECT_EQ(d.Image()->Row16(3)[4], 200 * 64);
  EXPECT_TRUE(d.FromImageFile());
  EXPECT_NEAR(d.ColumnSums()[4], 200.0 * 64 / 60, 1e-3);  // the profile of this picture
}

// The sync templates of the other formats, on envelopes whose sync positions
// are known: Meteor bursts, the Sich pulse, the Sich-600 burst, the WEFAX
// edge and the geostationary start sequence with its subcarrier line clock.
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
    Decode(d, f.signal);
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

// A WAV stream of `size` bytes made as it is read: the header, then the
// samples of `period` over and over.
class EndlessWav : public std::streambuf {
 public:
  EndlessWav(std::vector<std::uint8_t> header, std::vector<std::int16_t> period, std::uint64_t size)
      : header_(std::move(header)), period_(std::move(period)), size_(size) {}
  std::uint64_t reached = 0;  // the furthest place read from

 protected:
  pos_type seekoff(off_type off, std::ios::seekdir dir, std::ios::openmode) override {
    const auto here = static_cast<off_type>(pos_) - (egptr() - gptr());
    const off_type base = dir == std::ios::beg ? 0 : dir == std::ios::cur ? here : off_type(size_);
    return seekpos(base + off, std::ios::in);
  }
  pos_type seekpos(pos_type p, std::ios::openmode) override {
    if (p < 0 || std::uint64_t(off_type(p)) > size_) return pos_type(off_type(-1));
    pos_ = std::uint64_t(off_type(p));
    if (pos_ < size_) reached = std::max(reached, pos_);
    setg(nullptr, nullptr, nullptr);
    return p;
  }
  int_type underflow() override {
    if (pos_ >= size_) return traits_type::eof();
    const std::size_t n = std::size_t(std::min<std::uint64_t>(chunk_.size(), size_ - pos_));
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint64_t at = pos_ + i;
      if (at < header_.size()) {
        chunk_[i] = char(header_[at]);
      } else {
        const std::uint64_t byte = at - header_.size();
        const auto sample = std::uint16_t(period_[(byte / 2) % period_.size()]);
        chunk_[i] = char(byte % 2 ? sample >> 8 : sample & 0xff);
      }
    }
    setg(chunk_.data(), chunk_.data(), chunk_.data() + n);
    pos_ += n;
    return traits_type::to_int_type(chunk_[0]);
  }

 private:
  std::vector<std::uint8_t> header_;
  std::vector<std::int16_t> period_;
  std::uint64_t size_, pos_ = 0;
  std::array<char, 65536> chunk_{};
};

// Three hours of signal: the picture stops at its line cap and the reading
// with it, with no picture allocated for the hours declared.
TEST(SatelliteVideoDecoder, ARecordingOfHoursStopsAtTheLineCap) {
  TSatelliteVideoDecoder capped;
  capped.SetDecodeParameters(dpNOAAapt);
  capped.SetTotalSamples(3 * 3600 * kRate);
  capped.BeginData();
  EXPECT_EQ(capped.MaxLines(), 7200);
  EXPECT_EQ(capped.Image()->Height(), 7200);

  AptOptions o;
  o.seconds = 60;  // a whole number of lines and of carrier cycles: seamless
  o.snrDb = 30;
  const std::vector<std::int16_t> minute = AptSignal(o);
  const std::uint64_t bytes = 3ull * 3600 * kRate * 2;
  testing::WavOptions w;
  w.dataSizeOverride = std::int64_t(bytes);
  std::vector<std::uint8_t> header = testing::BuildWav({}, w);
  EndlessWav stream(header, minute, header.size() + bytes);
  std::istream in(&stream);

  TSignalSource source;
  TSignalHilbertAMDetectorQ detector;
  TSatelliteVideoDecoder decoder;
  Chain(source, detector, decoder);
  decoder.SetMaxLines(80);
  decoder.SetOnLine([&](int) {
    if (decoder.Full()) source.Stop();  // as the run does
  });
  source.WaveIn().ReadStream(in, "three hours");
  EXPECT_TRUE(decoder.Full());
  // The last row is the one rewritten, then dropped to make the count even.
  EXPECT_EQ(decoder.LineCount(), 78);
  EXPECT_EQ(decoder.Image()->Height(), 78);
  EXPECT_LT(stream.reached, 45u * kRate * 2);  // about 40 of the 10800 seconds were read
}

TEST(RealRecording, NoaaExcerptDecodesWithStraightSync) {
  TSatelliteVideoDecoder decoder;
  DecodeExcerpt("noaa15-excerpt-40s.wav", decoder);
  const TIplImage* image = decoder.Image();
  ASSERT_NE(image, nullptr);
  EXPECT_GE(image->Height(), 76);                                // 80 line periods, less the search
  EXPECT_LT(decoder.LowestPixel(), decoder.HighestPixel() / 4);  // a picture, not a flat field

  std::vector<int> syncA, syncB;
  for (int y = 0; y < image->Height(); ++y) {
    syncA.push_back(BurstColumn(*image, y, 2, 2, -60, 60));
    syncB.push_back(BurstColumn(*image, y, 3, 2, 2600, 2900));
  }
  // Both bursts stay in their columns, 1040 words apart.
  for (const auto* cols : {&syncA, &syncB}) {
    const auto [lo, hi] = std::minmax_element(cols->begin(), cols->end());
    EXPECT_LE(*hi - *lo, 3);
  }
  EXPECT_NEAR(syncB[10] - syncA[10], 1040 * kRate / 4160.0, 3);
}

TEST(RealRecording, NoaaStageGivesChannelsCalibrationAndFalseColour) {
  TSatelliteVideoDecoder decoder;
  TDiagnostics log;
  DecodeExcerpt("noaa15-excerpt-110s.wav", decoder, [&] {
    decoder.SetSensorModel(smNOAA15);
    decoder.SetLargeImage(false);
    decoder.Log = &log;
  });
  ASSERT_NE(decoder.Image(), nullptr);
  ASSERT_GE(decoder.Image()->Height(), 192);

  testing::RecordingMessages messages;
  decoder.SetNoaaStage(NoaaStage());
  TColourMapping therm("Therm", std::make_unique<TExtBitmap>(MakeBuiltInLookupBitmap("Therm")));
  decoder.SetTempToColourLookup(&therm);
  TExtBitmap display(0, 0, pf8bit), a, b, ir, fc;
  std::array<double, 256> celsius{};
  TNoaaPictures pictures{&a, &b, &ir, &fc, &celsius, false};
  EXPECT_TRUE(decoder.MakeImage(&display, pictures));
  EXPECT_TRUE(messages.entries.empty());

  auto logged = [&](const std::string& line) {
    return std::find(log.Lines().begin(), log.Lines().end(), line) != log.Lines().end();
  };
  // Channel A carries mid-infrared 3B, then visible 2, from about line 60
  // of this excerpt; channel B is the 11 um channel throughout.
  EXPECT_TRUE(logged("NOAA: Chan A is sensor 3 then sensor 2"));
  EXPECT_TRUE(logged("NOAA: From wedge telemetry channel B is AVHRR sensor 4 (11um thermal IR)"));
  double kelvin = 0, dummy = 0;
  int p[4] = {};
  bool prt = false;
  for (const auto& line : log.Lines())
    prt |= std::sscanf(line.c_str(),
                       "NOAA: Blackbody PRT 8-bit values: [%d %d %d %d], temperature: %lfK (%lfC)",
                       &p[0], &p[1], &p[2], &p[3], &kelvin, &dummy) == 6;
  ASSERT_TRUE(prt);
  EXPECT_GT(kelvin, 285.0);  // the on-board blackbody sits near room temperature
  EXPECT_LT(kelvin, 305.0);

  ASSERT_EQ(a.Width(), 1040);
  EXPECT_EQ(b.Width(), 1040);
  EXPECT_GE(a.Height(), 192);
  ASSERT_EQ(fc.Width(), 1040);
  EXPECT_EQ(fc.PixelFormat(), pf24bit);
  EXPECT_EQ(decoder.NoaaLineStats().size(), std::size_t(decoder.Image()->Height()));

  // Earth temperatures of the IR picture's image area: deep convective
  // cloud tops near -85 C at the cold end, a hot desert surface near 50 C at
  // the warm end (the coldest 2 % read as space, past the calibration).
  std::vector<double> t;
  for (int y = 0; y < ir.Height(); y += 4)
    for (int x = 100; x < 980; x += 4) t.push_back(celsius[ir.ScanLine(y)[x]]);
  std::sort(t.begin(), t.end());
  EXPECT_GT(t[t.size() * 5 / 100], -100.0);
  EXPECT_LT(t[t.size() * 95 / 100], 60.0);
  EXPECT_GT(t[t.size() / 2], -20.0);
  EXPECT_LT(t[t.size() / 2], 35.0);
}

}  // namespace
}  // namespace vivurozed
