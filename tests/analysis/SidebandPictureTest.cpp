// The sideband measure looks at the picture alone and weighs it by time:
// sync pulses, space strips and wedges are sharp-edged on every line and
// must not read as detail, while detail in part of a pass counts by its share.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "AptSignal.h"
#include "WavWriter.h"
#include "analysis/SidebandNoise.h"

namespace vivurozed {
namespace {

TEST(SidebandNoise, CountsOnlyThePictureByItsShare) {
  struct Case {
    const char* what;
    int detailFrom;  // first line with fine detail (lines before it are flat)
    double startWord;
    double lowDb, highDb;
  } cases[] = {
      {"flat picture", 1000, 0, -1, 1},
      {"flat picture, lines start mid-sample", 1000, 700.4, -1, 1},
      {"detail in the last 40 % of the lines", 14, 1500, 1.77, 60},
  };
  testing::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::AptOptions o;
    o.seconds = 12;  // 24 lines
    o.snrDb = 40;
    o.startWord = c.startWord;
    o.content.standardFormat = true;
    const int from = c.detailFrom;
    o.content.imageA = [from](int line, int column) {
      if (line < from) return std::uint8_t{128};
      std::uint32_t x = static_cast<std::uint32_t>(line * 909 + column);  // well mixed
      for (int round = 0; round < 2; ++round) x = (x ^ (x >> 16)) * 0x45d9f3bu;
      return static_cast<std::uint8_t>(x >> 24);
    };
    o.content.imageB = o.content.imageA;
    const std::vector<std::int16_t> samples = testing::AptSignal(o);
    const auto path = dir / "s.wav";
    testing::WriteWav(path, samples);
    const double db =
        OuterSidebandRatioDb(path.string(), static_cast<int>(samples.size())).value_or(-99);
    EXPECT_GT(db, c.lowDb);
    EXPECT_LT(db, c.highDb);
  }
}

}  // namespace
}  // namespace vivurozed
