// A real NOAA 15 excerpt through the whole receiving chain.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "decode/SignalVideoDecode.h"
#include "signal/SignalHilbert.h"

namespace vivurozed {
namespace {

constexpr int kRate = 11025;

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
  TSignalSource source;
  source.SetChannelSelect(chMonoToBoth);
  source.SetAGC(false);
  source.SetBufferSamples(2048);
  TSignalHilbertAMDetectorQ detector;
  detector.SetSampleRate(kRate);
  detector.SetCarrierFrequency(2400);
  detector.SetFilterTaps(21);
  detector.SetBandwidth(1350);
  TSatelliteVideoDecoder decoder;
  decoder.SetDecodeParameters(dpNOAAapt);
  source.SetDataSink(&detector);
  detector.SetDataSink(&decoder);
  source.ReadFile(std::string(VZ_TEST_DATA) + "/noaa15-excerpt-40s.wav");

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

}  // namespace
}  // namespace vivurozed
