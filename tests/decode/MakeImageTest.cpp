// Post-processing of stored pictures whose black, white, wedges and noise
// are known.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "AptSignal.h"
#include "decode/SignalVideoDecode.h"
#include "decode/SignalVideoPost.h"

namespace vivurozed {
namespace {

constexpr int kRate = 11025;

// An 8-bit picture whose pixel (x, y) is f(x, y), loaded into a decoder.
void Load(TSatelliteVideoDecoder& d, int w, int h, const std::function<int(int, int)>& f) {
  TExtBitmap b(w, h, pf8bit);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) b.ScanLine(y)[x] = static_cast<std::uint8_t>(f(x, y));
  }
  ASSERT_TRUE(d.LoadFromBitmap(b));
}

// The display picture of an 8-bit picture f(x, y) for a decoder set up by
// `setup`.
TExtBitmap Made(TDecodeParameters type, int w, int h, const std::function<int(int, int)>& f,
                const std::function<void(TSatelliteVideoDecoder&)>& setup = {}) {
  TSatelliteVideoDecoder d;
  d.SetDecodeParameters(type);
  if (setup) setup(d);
  Load(d, w, h, f);
  TExtBitmap b(1, 1, pf8bit);
  EXPECT_TRUE(d.MakeImage(&b));
  return b;
}

int Px(const TExtBitmap& b, int x, int y) {
  return b.ScanLine(y)[x];
}

// A NOAA line at sample resolution: word at sample x, mapped to 10 .. 245.
int NoaaPixel(const std::vector<std::vector<std::uint8_t>>& words, int x, int y) {
  const int word = static_cast<int>(std::int64_t{x} * 4160 / kRate);
  const int w = words[static_cast<std::size_t>(y)][static_cast<std::size_t>(std::min(word, 2079))];
  return 10 + w * 235 / 255;
}

struct NoaaPicture {
  std::vector<std::vector<std::uint8_t>> words;
  testing::AptContent content;
  NoaaPicture(int lines) {
    content.standardFormat = true;
    content.imageA = [](int line, int col) { return std::uint8_t((line + col / 8) & 0xFF); };
    for (int y = 0; y < lines; ++y) words.push_back(testing::AptLineWords(y, content));
  }
};

TEST(MakeImage, NoaaGenericPathMapsWedgesToWordsAndIgnoresTheOptions) {
  const int lines = 140;
  NoaaPicture pic(lines);
  auto noaa = [&](int x, int y) { return NoaaPixel(pic.words, x, y); };
  for (bool autoBlack : {true, false}) {
    const TExtBitmap b = Made(dpNOAAapt, kRate / 2, lines, noaa, [&](TSatelliteVideoDecoder& d) {
      d.SetAutoBlack(autoBlack);
      d.SetGamma(1.0f);
    });
    ASSERT_EQ(b.Width(), 2080);
    ASSERT_EQ(b.Height(), lines);
    // The middle of each wedge of telemetry A, and the black space strip.
    for (int wedge = 1; wedge <= 9; ++wedge) {
      const int y = (wedge - 1) * 8 + 4;
      const int truth = testing::AptWedgeValue(wedge, pic.content, false);
      // With the black level found the wedges read as sent; without it the
      // stored level (offset 10) is only scaled, white to 16384.
      const int expected = autoBlack ? truth : (10 + truth * 235 / 255) * 16384 / (245 * 64);
      EXPECT_NEAR(Px(b, 1017, y), expected, 1) << "wedge " << wedge << " autoBlack " << autoBlack;
    }
    if (autoBlack) {
      int worst = 0;
      for (int y = 0; y < lines; ++y)
        for (int x = 200; x < 900; x += 7)
          worst = std::max(worst, std::abs(Px(b, x, y) - pic.words[y][x]));
      EXPECT_LE(worst, 2);  // picture words come back, less the word-edge blur
    }
  }
  // Never enlarged, equalised, sharpened or turned.
  auto options = [](bool on) {
    return [on](TSatelliteVideoDecoder& d) {
      d.SetLargeImage(on);
      d.SetEqualiseHistogram(on);
      d.SetSharpen(on ? shSharpenMore : shNone);
      d.Rotate180 = on;
    };
  };
  const TExtBitmap plain = Made(dpNOAAapt, kRate / 2, 80, noaa, options(false));
  const TExtBitmap dressed = Made(dpNOAAapt, kRate / 2, 80, noaa, options(true));
  ASSERT_EQ(dressed.Width(), 2080);
  ASSERT_EQ(dressed.Height(), 80);
  for (int y = 0; y < 80; y += 9)
    EXPECT_TRUE(std::equal(plain.ScanLine(y), plain.ScanLine(y) + 2080, dressed.ScanLine(y)));
}

// The seam hands the NOAA stage the stored picture and the options, and
// the steps after it use the picture it hands back.
TEST(MakeImage, NoaaStageSeesOptionsAndMayReplaceThePicture) {
  TSatelliteVideoDecoder d;
  d.SetDecodeParameters(dpNOAAapt);
  d.SetGamma(1.7f);
  d.Illumination = 2;
  d.FrameMarkers = true;
  int calls = 0;
  TExtBitmap channelA;
  d.SetNoaaStage([&](TNoaaStageRequest& r) {
    ++calls;
    EXPECT_EQ(r.image.Width(), 3000);
    EXPECT_FLOAT_EQ(r.gamma, 1.7f);
    EXPECT_EQ(r.illumination, 2);
    EXPECT_TRUE(r.frameMarkers);
    EXPECT_EQ(r.pictures.channelA, &channelA);
    r.lineStats.assign(static_cast<std::size_t>(r.image.Height()), TNoaaLineStats{});
    r.minuteMarkerPhase = 17;
    r.progress("NOAA telemetry analysis", 40);
    r.replacement = iplCreateImage(2080, r.image.Height(), idDepth16u);
    r.replacement->Fill(8192);
    return true;
  });
  std::vector<std::string> steps;
  d.SetOnProgress([&](TCustomVideoDecoder&, TProgressKind k, const std::string& t, int) {
    if (k == pkProgress) steps.push_back(t);
  });
  d.SetTickSource([n = std::int64_t{0}]() mutable { return n += 1000; });
  Load(d, 3000, 64, [](int x, int) { return x % 256; });
  TNoaaPictures pictures;
  pictures.channelA = &channelA;
  TExtBitmap b(1, 1, pf8bit);
  ASSERT_TRUE(d.MakeImage(&b, pictures));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(d.MinuteMarkerPhase(), 17);
  EXPECT_EQ(d.NoaaLineStats().size(), 64u);
  EXPECT_EQ(d.Image()->Width(), 3000);  // the stored picture stays as decoded
  ASSERT_EQ(b.Width(), 2080);
  EXPECT_NE(std::find(steps.begin(), steps.end(), "NOAA telemetry analysis"), steps.end());

  // 60 rows are enough for the stage.
  calls = 0;
  Made(
      dpNOAAapt, 3000, 60, [](int, int) { return 9; },
      [&](TSatelliteVideoDecoder& s) {
        s.SetNoaaStage([&](TNoaaStageRequest&) { return ++calls > 0; });
      });
  EXPECT_EQ(calls, 1);
}

TEST(MakeImage, WefaxGainWidthAndLargeImage) {
  // 1680 samples a line: two samples to each of the 840 pixels.
  auto picture = [](int x, int y) {
    if (x >= 26 && x < 54) return 200;            // the white reference run
    if (x >= 800 && x < 840) return 100;          // a mid grey band
    return x < 1000 ? 0 : (x / 2) % 200 + y % 3;  // black, then a pattern
  };
  for (bool large : {false, true}) {
    const TExtBitmap b = Made(dpWEFAX, 1680, 100, picture, [&](TSatelliteVideoDecoder& d) {
      d.SetGamma(1.0f);
      d.SetLargeImage(large);
    });
    const int scale = large ? 3 : 2;  // large pictures are half as big again
    ASSERT_EQ(b.Width(), 420 * scale);
    ASSERT_EQ(b.Height(), 50 * scale);
    // White x 64 gains to 16320: 255 x 16320 / 16383.
    EXPECT_EQ(Px(b, 10 * scale, 25 * scale), 254);
    EXPECT_EQ(Px(b, 205 * scale, 25 * scale), 127);  // 100 / 200 of 16320
    EXPECT_EQ(Px(b, 150 * scale, 25 * scale), 0);
    EXPECT_EQ(Px(b, 10 * scale, 50 * scale - 1), 254);
    // Two input samples to a pixel: the pattern comes through unblurred.
    for (int x = 500; x < 840 && !large; x += 13) {
      const int truth = ((2 * x) / 2) % 200 + 50 % 3;
      EXPECT_NEAR(Px(b, x, 50), std::nearbyint(255.0 * truth * 64 * 16320 / 12800 / 16383), 1);
    }
  }
}

TEST(MakeImage, FlipsByTypeAndPassDirection) {
  auto plain = [](TSatelliteVideoDecoder& d) {
    d.SetLargeImage(false);
    d.SetSharpen(shNone);
  };
  // Dark left half, bright right half: Okean pictures are mirrored.
  const TExtBitmap okean = Made(
      dpOkeanO, 2000, 80, [](int x, int) { return x < 1000 ? 40 : 200; }, plain);
  ASSERT_EQ(okean.Width(), 1500);
  EXPECT_GT(Px(okean, 100, 40), Px(okean, 1400, 40));

  // A dark marker at the top left ends up bottom right when the pass
  // direction asks for a turn, and stays for WEFAX.
  auto marker = [](int x, int y) { return x >= 600 && x < 900 && y < 20 ? 20 : 90; };
  auto turn = [&](TSatelliteVideoDecoder& d) {
    plain(d);
    d.Rotate180 = true;
  };
  const TExtBitmap meteor = Made(dpMeteor221, 2000, 80, marker, turn);
  ASSERT_EQ(meteor.Width(), 850);
  EXPECT_LT(Px(meteor, 530, 70) + 20, Px(meteor, 320, 10)) << "turned";
  const TExtBitmap wefax = Made(dpWEFAX, 2000, 80, marker, turn);
  ASSERT_EQ(wefax.Width(), 840);
  EXPECT_LT(Px(wefax, 320, 10) + 20, Px(wefax, 530, 70)) << "kept";
}

TEST(MakeImage, CropRemovesTheNoisyEvenCount) {
  for (int noisy : {8, 7}) {
    // Meteor 2-21: the black run is at the right edge, the picture bright.
    auto picture = [noisy](int x, int y) {
      if (x >= 1988 && x < 1997) return y >= 200 - noisy ? (x % 2 ? 107 : 0) : 0;
      return 200;
    };
    TDiagnostics log;
    const TExtBitmap b = Made(dpMeteor221, 2000, 200, picture, [&](TSatelliteVideoDecoder& d) {
      d.SetCropNoise(true);
      d.SetLargeImage(false);
      d.Log = &log;
    });
    const int cropped = noisy & ~1;
    EXPECT_EQ(b.Height(), 200 - cropped);
    EXPECT_NE(std::find(log.Lines().begin(), log.Lines().end(),
                        Format("Cropping %d noisy or blank lines from image end", cropped)),
              log.Lines().end());
  }
}

TEST(MakeImage, EqualisedHistogramIsFlatOverTheBand) {
  // Levels with a density that falls threefold over the range: within the
  // clip, so equalisation alone shapes them.
  const int w = 1000, h = 120;
  TIplImage image(w, h, idDepth16u);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const double s = ((x * 7919 + y * 104729) % 100000) / 100000.0;
      image.Row16(y)[x] = static_cast<std::uint16_t>(16383 * (s + s * s) / 2);
    }
  }
  EqualisePicture(image, dpOkean, false, 3);
  std::vector<int> bins(8, 0);
  int total = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = w / 5; x < 4 * w / 5; ++x) {
      ++bins[static_cast<std::size_t>(image.Row16(y)[x] / 8192)];
      ++total;
    }
  }
  for (int c : bins) EXPECT_NEAR(static_cast<double>(c) / total, 1.0 / 8, 0.01);
}

TEST(MakeImage, GainDisplayTableAndDespeckleRules) {
  EXPECT_DOUBLE_EQ(NextGain(1000, 2000), 1100);  // upward steps are smoothed
  EXPECT_DOUBLE_EQ(NextGain(1000, 3), 3);        // downward ones taken at once
  std::vector<std::uint16_t> row = {40, 50, 100, 9000};
  std::vector<float> work(4);
  ApplyGain(row, 50, 2.0, work);
  EXPECT_EQ(row, (std::vector<std::uint16_t>{0, 0, 100, 16383}));

  // Gamma 2.2 at a quarter: 255 x (1/4)^(1/2.2) = 135.9.
  const struct {
    TDecodeParameters type;
    bool equalised;
    float gamma;
    std::vector<std::pair<int, int>> levels;
  } tables[] = {{dpMeteor35, false, 1.0f, {{0, 0}, {16383, 255}, {8192, 128}, {40000, 255}}},
                {dpWEFAX, false, 2.2f, {{4096, 136}}},
                {dpSich, true, 1.0f, {{65535, 255}, {32768, 128}, {16383, 64}}},
                {dpNOAAapt, true, 2.2f, {{16383, 255}, {6400, 100}, {16384, 255}, {63, 0}}}};
  for (const auto& t : tables) {
    const auto table = DisplayTable(t.type, t.equalised, t.gamma);
    for (const auto& [in, out] : t.levels) EXPECT_EQ(table[in], out) << t.type << " " << in;
  }

  TIplImage image(100, 20, idDepth16u);
  image.Fill(1000);
  image.Row16(10)[50] = 5000;  // inside 10 .. 90
  image.Row16(10)[5] = 5000;   // outside
  image.Row16(10)[60] = 1100;  // within the threshold
  DespeckleImage(image, 300, dpWEFAX);
  EXPECT_EQ(image.Row16(10)[50], 1000);
  EXPECT_EQ(image.Row16(10)[5], 5000);
  EXPECT_EQ(image.Row16(10)[60], 1100);
}

TEST(MakeImage, FailedWedgeSearchesFallBackAndSay) {
  for (TDecodeParameters type : {dpMeteor35, dpResursO1N4}) {
    TDiagnostics log;
    Made(
        type, 5600, 64, [](int, int) { return 120; },  // flat: no dark run anywhere
        [&](TSatelliteVideoDecoder& d) { d.Log = &log; });
    const std::string first = type == dpMeteor35
                                  ? "Error: Meteor specified but wedge not found."
                                  : "Error: Okean/Resurs specified but wedge not found.";
    const auto at = std::find(log.Lines().begin(), log.Lines().end(), first);
    ASSERT_NE(at, log.Lines().end());
    ASSERT_LT(at + 2, log.Lines().end());
    EXPECT_EQ(at[1], "  Using estimated wedge position, may indicate");
    EXPECT_EQ(at[2], "  wrong sampling frequency or poor signal.");
  }
}

TEST(MakeImage, NothingToShowLeavesTheBitmapAndEndsTheRun) {
  TSatelliteVideoDecoder d;
  d.SetDecodeParameters(dpOkean);
  d.SetTickSource([n = std::int64_t{0}]() mutable { return n += 1000; });
  std::vector<std::pair<TProgressKind, std::string>> calls;
  int lastPercent = -1;
  d.SetOnProgress([&](TCustomVideoDecoder&, TProgressKind k, const std::string& t, int p) {
    calls.emplace_back(k, t);
    lastPercent = p;
  });
  TExtBitmap b(7, 3, pf8bit);
  EXPECT_FALSE(d.MakeImage(&b));  // nothing decoded yet
  EXPECT_EQ(b.Width(), 7);
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back(), std::make_pair(pkEnd, std::string()));
  EXPECT_EQ(lastPercent, 100);

  Load(d, 3000, 62, [](int x, int) { return x % 200; });
  EXPECT_FALSE(d.MakeImage(nullptr));
  calls.clear();
  ASSERT_TRUE(d.MakeImage(&b));
  std::vector<std::string> texts;
  for (const auto& [k, t] : calls) {
    if (k == pkProgress && (texts.empty() || texts.back() != t)) texts.push_back(t);
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"Gain correction", "Change width", "Change height",
                                             "Sharpen image", "Copy to display bitmap"}));
  EXPECT_TRUE(b.Modified());
}

}  // namespace
}  // namespace vivurozed
