#include "app/PictureReadouts.h"

#include <gtest/gtest.h>

namespace vivurozed {
namespace {

TEST(PictureReadouts, DistanceOfADragInKilometresOrMiles) {
  struct Case {
    int dx, dy, width;
    bool metric;
    const char* text;
  };
  // 3.3 km a pixel on a 1040-pixel picture, 2.2 km on a 1560-pixel one;
  // 1.609 km to the mile; rounded to 5.
  const Case cases[] = {
      {100, 0, 1040, true, "Distance: ~330 km"},
      {100, 0, 1040, false, "Distance: ~205 miles"},
      {100, 0, 1560, true, "Distance: ~220 km"},
      {-30, 40, 1040, true, "Distance: ~165 km"},
      {0, 3, 1040, true, "Distance: ~10 km"},
      {0, 0, 1040, true, "Distance: ~0 km"},
      {100, 0, 2080, true, ""},
      {100, 0, 909, true, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DistanceText(c.dx, c.dy, c.width, c.metric), c.text)
        << c.dx << "," << c.dy << " on " << c.width;
  }
}

TEST(PictureReadouts, TemperatureOrSignalToNoiseUnderTheCursor) {
  EXPECT_EQ(TemperatureText(12.4, true), "12°C");
  EXPECT_EQ(TemperatureText(12.4, false), "54°F");  // 1.8 x 12.4 + 32 = 54.3
  EXPECT_EQ(TemperatureText(-40, false), "-40°F");
  // 20 log10(16384 / n), the noise taken as at least 20.
  EXPECT_EQ(SnrText(10), "SNR = 58 dB");
  EXPECT_EQ(SnrText(20), "SNR = 58 dB");
  EXPECT_EQ(SnrText(164), "SNR = 40 dB");

  TReadoutData data;
  data.infrared = TExtBitmap(4, 3, pf8bit);
  data.infrared.ScanLine(2)[1] = 200;
  data.celsius[200] = -21.6;
  data.spaceBDeviation = {10, 164, 20, 30, 40};
  // The infrared picture's size decides; else one deviation per line.
  EXPECT_EQ(ValueReadout(data, 4, 3, 1, 2, true), "-22°C");
  EXPECT_EQ(ValueReadout(data, 8, 5, 1, 1, true), "SNR = 40 dB");
  EXPECT_EQ(ValueReadout(data, 8, 6, 1, 1, true), "");
  EXPECT_EQ(ValueReadout(data, 4, 3, 4, 0, true), "");  // outside the picture
  data.infrared = TExtBitmap(0, 0, pf8bit);
  EXPECT_EQ(ValueReadout(data, 4, 5, 0, 0, true), "SNR = 58 dB");
}

}  // namespace
}  // namespace vivurozed
