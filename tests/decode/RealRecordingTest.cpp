// Real NOAA 15 excerpts through the whole receiving chain, MakeImage and the
// NOAA stage.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "RecordingMessages.h"
#include "decode/NoaaStage.h"
#include "decode/SignalVideoDecode.h"
#include "noaa/FalseColour.h"
#include "signal/SignalHilbert.h"

namespace vivurozed {
namespace {

constexpr int kRate = 11025;

// Reads an excerpt of the test data through the quadrature AM detector
// into `decoder`.
void DecodeExcerpt(const std::string& name, TSatelliteVideoDecoder& decoder) {
  TSignalSource source;
  source.SetChannelSelect(chMonoToBoth);
  source.SetAGC(false);
  source.SetBufferSamples(2048);
  TSignalHilbertAMDetectorQ detector;
  detector.SetSampleRate(kRate);
  detector.SetCarrierFrequency(2400);
  detector.SetFilterTaps(21);
  detector.SetBandwidth(1350);
  decoder.SetDecodeParameters(dpNOAAapt);
  source.SetDataSink(&detector);
  detector.SetDataSink(&decoder);
  source.ReadFile(std::string(VZ_TEST_DATA) + "/" + name);
}

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
  decoder.SetSensorModel(smNOAA15);
  decoder.SetLargeImage(false);
  TDiagnostics log;
  decoder.Log = &log;
  DecodeExcerpt("noaa15-excerpt-110s.wav", decoder);
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
