// The outer-sideband measure that picks the input filter: fine picture
// detail above little noise stands well clear of it, the same detail under
// heavy noise does not, and noise alone reads about 0 dB.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "AptSignal.h"
#include "WavWriter.h"
#include "analysis/SidebandNoise.h"

namespace vivurozed {
namespace {

TEST(SidebandNoise, TellsFineDetailFromNoise) {
  struct Case {
    double snrDb;
    bool noiseOnly;
    double lowDb, highDb;
  } cases[] = {
      {40, false, 1.77, 60},  // every word differs from its neighbours
      {0, false, -1, 1.5},
      {0, true, -1, 1},
  };
  testing::TempDir dir;
  for (const Case& c : cases) {
    testing::AptOptions o;
    o.seconds = 12;
    o.snrDb = c.snrDb;
    o.content.imageA = [](int line, int column) {
      return static_cast<std::uint8_t>((line * 131u + column * 97u) * 2654435761u >> 24);
    };
    o.content.imageB = o.content.imageA;
    std::vector<std::int16_t> samples = testing::AptSignal(o);
    if (c.noiseOnly) {
      std::mt19937 random(7);
      std::normal_distribution<double> noise(0, 3000);
      for (auto& v : samples) v = static_cast<std::int16_t>(std::lround(noise(random)));
    }
    const auto path = dir / "s.wav";
    testing::WriteWav(path, samples);
    const double db =
        OuterSidebandRatioDb(path.string(), static_cast<int>(samples.size())).value_or(-99);
    EXPECT_GT(db, c.lowDb) << c.snrDb << (c.noiseOnly ? " noise only" : "");
    EXPECT_LT(db, c.highDb) << c.snrDb << (c.noiseOnly ? " noise only" : "");
  }
}

}  // namespace
}  // namespace vivurozed
