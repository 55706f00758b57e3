#include "platform/qt/QtCanvas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "platform/Canvas.h"

namespace vivurozed {
namespace {

constexpr std::uint8_t kBackground = 200;

// Rows padded to 4 bytes, filled with the background index.
struct Picture {
  Picture(int w, int h) : width(w), stride((w + 4) / 4 * 4), pixels(stride * h, kBackground) {}
  std::uint8_t& at(int x, int y) { return pixels[std::size_t(y * stride + x)]; }
  std::unique_ptr<TCanvas> Canvas(const std::vector<TColour>& palette) {
    return MakePaletteCanvas(pixels.data(), width, int(pixels.size()) / stride, stride, palette);
  }
  int width, stride;
  std::vector<std::uint8_t> pixels;
};

std::vector<TColour> DistinctPalette() {
  std::vector<TColour> palette;
  for (int i = 0; i < 256; ++i)
    palette.push_back({std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 7)});
  return palette;
}

TEST(QtCanvas, EveryColourLandsOnExactlyItsPaletteIndexWithoutADisplay) {
  const auto palette = DistinctPalette();
  Picture picture(256, 4);
  auto canvas = picture.Canvas(palette);
  for (int i = 0; i < 256; ++i) {
    canvas->SetPenColour(palette[std::size_t(i)]);
    canvas->MoveTo(i, 1);
    canvas->LineTo(i, 2);  // both ends drawn
  }
  for (int x = 0; x < 256; ++x) {
    EXPECT_EQ(picture.at(x, 0), kBackground);
    EXPECT_EQ(picture.at(x, 1), x);
    EXPECT_EQ(picture.at(x, 2), x);
    EXPECT_EQ(picture.at(x, 3), kBackground);
  }
  // A colour outside the palette takes the nearest entry; padding stays.
  const std::vector<TColour> few{{0, 0, 0}, {0, 0, 128}, {255, 0, 0}, {255, 255, 0}};
  EXPECT_EQ(NearestPaletteIndex(few, {10, 10, 100}), 1);
  Picture small(10, 2);
  auto other = small.Canvas(few);
  other->SetPenColour({250, 240, 20});
  other->MoveTo(0, 1);
  other->LineTo(9, 1);
  for (int x = 0; x < small.stride; ++x) EXPECT_EQ(small.at(x, 1), x < 10 ? 3 : kBackground);
}

TEST(QtCanvas, TextShapesAndFillsTakeOnlyTheirOwnIndices) {
  const auto palette = DistinctPalette();
  struct Case {
    const char* font;
    int size;
    bool bold;
    TBrushStyle brush;
  };
  const Case cases[] = {{"Arial", 8, true, bsClear},
                        {"Small Fonts", 7, false, bsClear},
                        {"Arial", 10, false, bsSolid}};
  for (const auto& c : cases) {
    Picture picture(80, 30);
    auto canvas = picture.Canvas(palette);
    canvas->SetFont(c.font, c.size, c.bold);
    canvas->SetBrushStyle(c.brush);
    canvas->SetBrushColour(palette[9]);
    canvas->SetFontColour(palette[15]);
    const int w = canvas->TextWidth("Home 45°E"), h = canvas->TextHeight("Home 45°E");
    EXPECT_TRUE(w > 30 && h >= 8 && h <= 17) << c.font << " " << w << "x" << h;
    canvas->TextOut(2, 3, "Home 45°E");
    std::map<int, int> counts;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 80; ++x) ++counts[picture.at(x, y)];
    EXPECT_GT(counts[15], 20) << c.font;
    EXPECT_EQ(counts.size(), c.brush == bsClear ? 2u : 3u) << c.font;
    if (c.brush == bsSolid) {
      EXPECT_EQ(counts[9] + counts[15], w * h);
    }
  }
  Picture picture(40, 40);
  auto canvas = picture.Canvas(palette);
  canvas->SetBrushColour(palette[3]);
  canvas->FillRect(2, 2, 6, 5);
  canvas->SetPenColour(palette[18]);
  canvas->SetPenWidth(3);
  canvas->SetBrushStyle(bsClear);
  canvas->Ellipse(10, 10, 31, 31);
  int ringInBox = 0;
  for (int y = 8; y <= 32; ++y)
    for (int x = 8; x <= 32; ++x) ringInBox += picture.at(x, y) == 18;
  EXPECT_EQ(std::count(picture.pixels.begin(), picture.pixels.end(), 3), 12);
  EXPECT_EQ(std::count(picture.pixels.begin(), picture.pixels.end(), 18), ringInBox);
  EXPECT_EQ(picture.at(20, 20), kBackground);  // a clear brush leaves the middle
  EXPECT_EQ(picture.at(20, 10), 18);
}

}  // namespace
}  // namespace vivurozed
