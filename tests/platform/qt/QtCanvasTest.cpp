#include "platform/qt/QtCanvas.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "platform/Canvas.h"

namespace vivurozed {
namespace {

constexpr std::uint8_t kBackground = 200;

// A picture of width x height with rows 4-aligned and padded, filled with
// the background index.
struct Picture {
  Picture(int w, int h)
      : width(w), height(h), stride((w + 4) / 4 * 4), pixels(stride * h, kBackground) {}
  std::uint8_t& at(int x, int y) { return pixels[std::size_t(y * stride + x)]; }
  std::unique_ptr<TCanvas> Canvas(const std::vector<TColour>& palette) {
    return MakePaletteCanvas(pixels.data(), width, height, stride, palette);
  }
  int width, height, stride;
  std::vector<std::uint8_t> pixels;
};

std::vector<TColour> DistinctPalette() {
  std::vector<TColour> palette;
  for (int i = 0; i < 256; ++i)
    palette.push_back({std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 7)});
  return palette;
}

TEST(QtCanvas, WorksWithoutADisplay) {
  EXPECT_TRUE(EnsureGuiApplication());
}

TEST(QtCanvas, EveryPaletteIndexLandsExactlyAndLinesIncludeBothEnds) {
  const auto palette = DistinctPalette();
  Picture picture(256, 4);
  auto canvas = picture.Canvas(palette);
  for (int i = 0; i < 256; ++i) {
    canvas->SetPenColour(palette[std::size_t(i)]);
    canvas->MoveTo(i, 1);
    canvas->LineTo(i, 2);
  }
  for (int x = 0; x < 256; ++x) {
    EXPECT_EQ(picture.at(x, 0), kBackground);
    EXPECT_EQ(picture.at(x, 1), x);
    EXPECT_EQ(picture.at(x, 2), x);
    EXPECT_EQ(picture.at(x, 3), kBackground);
  }
}

TEST(QtCanvas, ColoursOutsideThePaletteTakeTheNearestEntry) {
  const std::vector<TColour> palette{{0, 0, 0}, {0, 0, 128}, {255, 0, 0}, {255, 255, 0}};
  struct Case {
    TColour colour;
    int index;
  };
  const Case cases[] = {{{255, 255, 0}, 3},
                        {{250, 240, 20}, 3},
                        {{10, 10, 100}, 1},
                        {{200, 30, 30}, 2},
                        {{5, 5, 5}, 0}};
  for (const auto& c : cases) EXPECT_EQ(NearestPaletteIndex(palette, c.colour), c.index);

  Picture picture(10, 3);
  auto canvas = picture.Canvas(palette);
  canvas->SetPenColour({250, 240, 20});
  canvas->MoveTo(0, 1);
  canvas->LineTo(9, 1);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(picture.at(x, 1), 3);
  // The row padding is not the picture's.
  for (int x = 10; x < picture.stride; ++x) EXPECT_EQ(picture.at(x, 1), kBackground);
}

TEST(QtCanvas, TextTakesOnlyTheFontColourOrTheBrushBox) {
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
    EXPECT_GT(w, 30) << c.font;
    EXPECT_TRUE(h >= 8 && h <= 17) << c.font << " " << h;
    canvas->TextOut(2, 3, "Home 45°E");
    std::map<int, int> counts;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 80; ++x) ++counts[picture.at(x, y)];
    EXPECT_GT(counts[15], 20) << c.font;
    if (c.brush == bsClear) {
      EXPECT_EQ(counts.size(), 2u) << c.font;
    } else {
      EXPECT_EQ(counts.size(), 3u) << c.font;
      EXPECT_EQ(counts[9] + counts[15], w * h) << c.font;
    }
  }
}

TEST(QtCanvas, RectanglesAndEllipsesKeepToTheirBoxes) {
  const auto palette = DistinctPalette();
  Picture picture(40, 40);
  auto canvas = picture.Canvas(palette);
  canvas->SetBrushColour(palette[3]);
  canvas->FillRect(2, 2, 6, 5);
  canvas->SetPenColour(palette[18]);
  canvas->SetPenWidth(3);
  canvas->SetBrushStyle(bsClear);
  canvas->Ellipse(10, 10, 31, 31);
  std::set<std::pair<int, int>> filled, ring;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 40; ++x) {
      if (picture.at(x, y) == 3) filled.insert({x, y});
      if (picture.at(x, y) == 18) ring.insert({x, y});
    }
  }
  EXPECT_EQ(filled.size(), 12u);
  EXPECT_TRUE(filled.count({2, 2}) && filled.count({5, 4}));
  // A ring three pixels wide around (20, 20): its middle stays clear.
  EXPECT_EQ(picture.at(20, 20), kBackground);
  EXPECT_EQ(picture.at(20, 10), 18);
  EXPECT_EQ(picture.at(10, 20), 18);
  for (const auto& [x, y] : ring) EXPECT_TRUE(x >= 8 && x <= 32 && y >= 8 && y <= 32);
}

TEST(QtCanvas, AnEmptyPictureDrawsNothing) {
  auto canvas = MakePaletteCanvas(nullptr, 0, 0, 0, DistinctPalette());
  canvas->MoveTo(0, 0);
  canvas->LineTo(5, 5);
  canvas->TextOut(0, 0, "x");
  EXPECT_EQ(canvas->Width(), 0);
}

}  // namespace
}  // namespace vivurozed
