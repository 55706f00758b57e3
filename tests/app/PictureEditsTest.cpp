#include "app/PictureEdits.h"

#include <gtest/gtest.h>

namespace vivurozed {
namespace {

TEST(PictureEdits, CropAtARowCutsThePassAsThePictureIsSeen) {
  struct Case {
    TCropSide side;
    int row, rows;
    TCleanLines shown;
    bool turned;
    std::optional<TCleanLines> cropped;
  };
  const Case cases[] = {
      {csAbove, 20, 100, {0, 99}, false, TCleanLines{20, 99}},
      {csBelow, 20, 100, {0, 99}, false, TCleanLines{0, 20}},
      // Turned, the top row is the last line decoded.
      {csAbove, 20, 100, {0, 99}, true, TCleanLines{0, 79}},
      {csBelow, 20, 100, {0, 99}, true, TCleanLines{79, 99}},
      // Already cropped: rows count from the first line shown.
      {csAbove, 30, 150, {50, 199}, false, TCleanLines{80, 199}},
      // Three rows for every two lines in a large picture.
      {csBelow, 150, 300, {0, 199}, false, TCleanLines{0, 100}},
      // Rows outside the picture are its edges.
      {csBelow, 500, 100, {0, 99}, true, std::nullopt},  // nothing cut
      {csAbove, 95, 100, {0, 99}, false, std::nullopt},  // 5 lines left
      {csAbove, 0, 100, {0, 99}, false, std::nullopt},   // nothing cut
  };
  for (const Case& c : cases) {
    const auto cropped = CropAt(c.side, c.row, c.rows, c.shown, c.turned);
    EXPECT_EQ(cropped, c.cropped) << c.row << " of " << c.rows << (c.turned ? " turned" : "");
  }
}

TEST(PictureEdits, LandTemperatureNeedsTheInfraredPictureOfTheDisplayedSize) {
  TReadoutData data;
  data.infrared = TExtBitmap(4, 2, pf8bit);
  data.infrared.ScanLine(1)[3] = 7;
  data.infrared.ScanLine(0)[0] = 8;
  data.infrared.ScanLine(0)[1] = 9;
  data.celsius.fill(-273.16);
  data.celsius[7] = 12.5;  // halves go to the even neighbour
  data.celsius[8] = -3.5;
  EXPECT_EQ(LandCelsiusAt(data, 4, 2, 3, 1), 12);
  EXPECT_EQ(LandCelsiusAt(data, 4, 2, 0, 0), -4);
  EXPECT_EQ(LandCelsiusAt(data, 4, 2, 1, 0), std::nullopt);  // uncalibrated
  EXPECT_EQ(LandCelsiusAt(data, 8, 2, 3, 1), std::nullopt);  // the main picture
  EXPECT_EQ(LandCelsiusAt(data, 4, 2, 4, 1), std::nullopt);
}

}  // namespace
}  // namespace vivurozed
