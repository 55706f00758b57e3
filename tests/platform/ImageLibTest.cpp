#include "platform/ImageLib.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace vivurozed {
namespace {

using Rows = std::vector<std::vector<int>>;
using Ints = std::vector<int>;

// A 16-bit image of the given rows.
std::unique_ptr<TIplImage> Image16(const Rows& rows) {
  auto img = iplCreateImage(int(rows[0].size()), int(rows.size()), idDepth16u);
  for (int y = 0; y < img->Height(); ++y)
    for (int x = 0; x < img->Width(); ++x) img->Row16(y)[x] = std::uint16_t(rows[y][x]);
  return img;
}

Rows Pixels(const TIplImage& img) {
  Rows rows(img.Height(), std::vector<int>(img.Width()));
  for (int y = 0; y < img.Height(); ++y)
    for (int x = 0; x < img.Width(); ++x)
      rows[y][x] = img.Depth() == idDepth16u ? img.Row16(y)[x] : img.Row8(y)[x];
  return rows;
}

Ints Row(const TIplImage& img, int y) {
  return Pixels(img)[y];
}

TEST(IplImage, LayoutFormatsAndIndependentClones) {
  TIplImage grey(5, 2, idDepth16u);
  EXPECT_EQ(grey.WidthStep(), 16);  // 10 bytes padded to 8
  TIplImage bgr(3, 2, idDepth8u, 3);
  EXPECT_EQ(bgr.WidthStep(), 16);
  EXPECT_THROW(TIplImage(2, 2, idDepth16u, 3), EImageError);
  EXPECT_THROW(TIplImage(2, 2, idDepth8u, 2), EImageError);
  EXPECT_THROW(TIplImage(-1, 2, idDepth8u), EImageError);
  EXPECT_THROW(TIplImage(70000, 70000, idDepth16u), EImageError);

  grey.Fill(70000);
  EXPECT_EQ(grey.Row16(1)[4], 65535);  // clamped to the depth
  grey.SetROI(iplCreateROI(1, 0, 2, 1));
  auto clone = iplCloneImage(grey);
  clone->Row16(0)[0] = 7;
  EXPECT_EQ(grey.Row16(0)[0], 65535);
  ASSERT_TRUE(clone->ROI());
  EXPECT_EQ(clone->ROI()->x, 1);
}

TEST(IplImage, RegionIsClippedToTheImage) {
  TIplImage img(4, 3, idDepth8u);
  img.SetROI(iplCreateROI(-2, 1, 5, 10));
  const TIplROI r = img.Rect();
  EXPECT_EQ((Ints{r.x, r.y, r.width, r.height}), (Ints{0, 1, 3, 2}));
  img.SetROI(std::nullopt);
  EXPECT_EQ(img.Rect().width, 4);
}

TEST(IplCopy, CopiesTheSourceRegionIntoTheDestinationRegion) {
  auto src = Image16({{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}});
  src->SetROI(iplCreateROI(1, 1, 3, 2));
  auto dst = iplCreateImage(3, 2, idDepth16u);
  iplCopy(*src, *dst);
  EXPECT_EQ(Pixels(*dst), (Rows{{6, 7, 8}, {10, 11, 12}}));

  // A smaller destination takes the overlap; the rest of a larger one is left.
  auto small = iplCreateImage(2, 1, idDepth16u);
  iplCopy(*src, *small);
  EXPECT_EQ(Row(*small, 0), (Ints{6, 7}));
  auto big = iplCreateImage(4, 3, idDepth16u);
  big->Fill(99);
  big->SetROI(iplCreateROI(1, 1, 3, 2));
  iplCopy(*src, *big);
  EXPECT_EQ(Pixels(*big), (Rows{{99, 99, 99, 99}, {99, 6, 7, 8}, {99, 10, 11, 12}}));

  auto eight = iplCreateImage(3, 2, idDepth8u);
  EXPECT_THROW(iplCopy(*src, *eight), EImageError);
}

TEST(IplResample, HandWorkedRatiosOfEveryMode) {
  struct Case {
    TIplInterpolation mode;
    std::array<int, 4> ratio;  // x destination, x source, y destination, y source
    Rows src, expected;
  };
  const Case cases[] = {
      // Super-sampling averages the covered input; 5 -> 3 covers 5/3 of a
      // pixel: (0*3 + 30*2)/5, (30*1 + 60*3 + 90*1)/5, (90*2 + 120*3)/5.
      // Halves go to the even neighbour; a 1:1 y ratio leaves rows alone.
      {iiSuper, {3, 6, 1, 1}, {{10, 20, 30, 40, 50, 60}}, {{15, 35, 55}}},
      {iiSuper, {3, 5, 1, 1}, {{0, 30, 60, 90, 120}}, {{12, 60, 108}}},
      {iiSuper, {1, 2, 1, 1}, {{1, 2, 3, 4, 2, 3}, {0, 0, 7, 7, 9, 8}}, {{2, 4, 2}, {0, 7, 8}}},
      // Linear and nearest align pixel centres and repeat the edges.
      {iiLinear, {2, 1, 1, 1}, {{0, 100}}, {{0, 25, 75, 100}}},
      {iiLinear, {1, 1, 3, 2}, {{0}, {90}}, {{0}, {45}, {90}}},
      {iiNearest, {2, 1, 1, 1}, {{1, 2, 3}}, {{1, 1, 2, 2, 3, 3}}},
      {iiNearest, {1, 2, 1, 1}, {{10, 11, 12, 13, 14, 15}}, {{11, 13, 15}}},
      // Catmull-Rom is exact on a ramp inside; the repeated edge pixel bends
      // it: 4.375 -> 4, 65.625 -> 66. A full-range step rings below 0 and
      // above 65535, clamped; t = 0.25: 65535 * (0.2265625 - 0.0234375).
      {iiCubic, {1, 2, 1, 1}, {{0, 10, 20, 30, 40, 50, 60, 70}}, {{4, 25, 45, 66}}},
      {iiCubic,
       {2, 1, 1, 1},
       {{0, 0, 65535, 65535}},
       {{0, 0, 0, 13312, 52223, 65535, 65535, 65535}}},
  };
  for (const Case& c : cases) {
    const auto [xd, xs, yd, ys] = c.ratio;
    auto src = Image16(c.src);
    auto dst =
        iplCreateImage(int(c.src[0].size()) * xd / xs, int(c.src.size()) * yd / ys, idDepth16u);
    if (xd >= xs && yd >= ys)
      iplZoom(*src, *dst, xd, xs, yd, ys, c.mode);
    else
      iplDecimate(*src, *dst, xd, xs, yd, ys, c.mode);
    EXPECT_EQ(Pixels(*dst), c.expected)
        << c.mode << " " << xd << "/" << xs << " " << yd << "/" << ys;
  }
}

TEST(IplResample, WorksPerChannelOnBgrAndRefusesWrongRatios) {
  auto src = iplCreateImage(2, 1, idDepth8u, 3);
  const std::uint8_t px[] = {10, 100, 200, 30, 50, 0};
  std::copy(px, px + 6, src->Row8(0));
  auto dst = iplCreateImage(1, 1, idDepth8u, 3);
  iplDecimate(*src, *dst, 1, 2, 1, 1, iiSuper);
  EXPECT_EQ(Ints(dst->Row8(0), dst->Row8(0) + 3), (Ints{20, 75, 100}));

  EXPECT_THROW(iplDecimate(*src, *dst, 2, 1, 1, 1, iiLinear), EImageError);
  EXPECT_THROW(iplZoom(*src, *dst, 1, 2, 1, 1, iiLinear), EImageError);
  EXPECT_THROW(iplZoom(*src, *dst, 0, 0, 1, 1, iiLinear), EImageError);
  EXPECT_THROW(iplDecimate(*src, *src, 1, 2, 1, 2, iiLinear), EImageError);  // rows read late
  // The destination limits the output; pixels past it are not written.
  auto wide = iplCreateImage(3, 1, idDepth8u, 3);
  wide->Fill(7);
  iplDecimate(*src, *wide, 1, 2, 1, 1, iiSuper);
  EXPECT_EQ(wide->Row8(0)[3], 7);
}

TEST(IplMirror, FlipsAboutEitherOrBothAxesAlsoInPlace) {
  auto src = Image16({{1, 2, 3}, {4, 5, 6}});
  auto dst = iplCreateImage(3, 2, idDepth16u);
  iplMirror(*src, *dst, maLeftRight);
  EXPECT_EQ(Pixels(*dst), (Rows{{3, 2, 1}, {6, 5, 4}}));
  iplMirror(*src, *dst, maTopBottom);
  EXPECT_EQ(Pixels(*dst), (Rows{{4, 5, 6}, {1, 2, 3}}));
  iplMirror(*src, *src, maBoth);
  EXPECT_EQ(Pixels(*src), (Rows{{6, 5, 4}, {3, 2, 1}}));

  // Colour pixels move whole: blue, green, red stay in order.
  auto bgr = iplCreateImage(2, 1, idDepth8u, 3);
  const std::uint8_t px[] = {1, 2, 3, 4, 5, 6};
  std::copy(px, px + 6, bgr->Row8(0));
  iplMirror(*bgr, *bgr, maLeftRight);
  EXPECT_EQ(std::vector<int>(bgr->Row8(0), bgr->Row8(0) + 6), (Ints{4, 5, 6, 1, 2, 3}));

  auto odd = iplCreateImage(2, 2, idDepth16u);
  EXPECT_THROW(iplMirror(*dst, *odd, maBoth), EImageError);
}

// The decoder's sharpening kernel: sums to 32, shifted by 5.
std::unique_ptr<TIplConvKernel> DecoderSharpen() {
  return iplCreateConvKernel(5, 3, 2, 1, {0, -1, -2, -1, 0, -2, -4, 52, -4, -2, 0, -1, -2, -1, 0},
                             5);
}

TEST(IplConvolve, TheNoaaLargeImageKernelDarkensFlatAreasUpToTheBorder) {
  // It sums to 62, not 64.
  auto k73 = iplCreateConvKernel(
      7, 3, 3, 1, {0, 0, -2, -7, -2, 0, 0, 4, -4, -6, 96, -6, -4, 4, 0, 0, -2, -7, -2, 0, 0}, 6);
  auto noaa = iplCreateImage(9, 5, idDepth16u);
  noaa->Fill(1024);
  iplConvolve2D(*noaa, *noaa, k73.get());
  for (const auto& row : Pixels(*noaa))
    for (int v : row) EXPECT_EQ(v, 992);
}

TEST(IplConvolve, SpikeResponseFollowsTheKernelAroundTheAnchor) {
  Rows rows(5, std::vector<int>(7, 1000));
  rows[2][3] = 2000;
  auto img = Image16(rows);
  iplConvolve2D(*img, *img, DecoderSharpen().get());
  // Centre (32 + 52) * 1000 / 32; beside it 1000 - 4 * 1000 / 32; two away
  // (32000 - 2000) >> 5, truncated; past the kernel's reach 1000.
  EXPECT_EQ(Pixels(*img), (Rows{{1000, 1000, 1000, 1000, 1000, 1000, 1000},
                                {1000, 1000, 968, 937, 968, 1000, 1000},
                                {1000, 937, 875, 2625, 875, 937, 1000},
                                {1000, 1000, 968, 937, 968, 1000, 1000},
                                {1000, 1000, 1000, 1000, 1000, 1000, 1000}}));

  // A dark spike drives the centre below 0: clamped.
  auto dark = Image16({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
  dark->Row16(1)[0] = 60000;
  auto sharp = iplCreateConvKernel(3, 1, 1, 0, {-8, 1, -8}, 0);
  iplConvolve2D(*dark, *dark, sharp.get());
  EXPECT_EQ(Row(*dark, 1), (Ints{0, 0, 0}));
  auto bright = Image16({{60000, 60000}});
  auto gain = iplCreateConvKernel(1, 1, 0, 0, {2}, 0);
  iplConvolve2D(*bright, *bright, gain.get());
  EXPECT_EQ(Row(*bright, 0), (Ints{65535, 65535}));
}

TEST(IplConvolve, OverhangingKernelRepeatsEdgePixelsAndHonoursRegions) {
  // Anchor at the left end: each pixel sums itself and two to its right.
  auto row = Image16({{1, 2, 3}});
  auto sum3 = iplCreateConvKernel(3, 1, 0, 0, {1, 1, 1}, 0);
  iplConvolve2D(*row, *row, sum3.get());
  EXPECT_EQ(Row(*row, 0), (Ints{6, 8, 9}));

  // The NOAA smoothing kernel next to an edge; only the region is written,
  // but neighbours outside it are read.
  auto edge = Image16({{0, 0, 800, 800}, {0, 0, 800, 800}, {0, 0, 800, 800}});
  edge->SetROI(iplCreateROI(1, 1, 2, 1));
  auto smooth = iplCreateConvKernel(3, 3, 1, 1, {0, 1, 0, 1, 4, 1, 0, 1, 0}, 3);
  iplConvolve2D(*edge, *edge, smooth.get());
  EXPECT_EQ(Pixels(*edge), (Rows{{0, 0, 800, 800}, {0, 100, 700, 800}, {0, 0, 800, 800}}));

  auto untouched = Image16({{5, 6}});
  iplConvolve2D(*untouched, *untouched, nullptr);
  EXPECT_EQ(Row(*untouched, 0), (Ints{5, 6}));

  EXPECT_THROW(iplCreateConvKernel(3, 1, 3, 0, {1, 1, 1}, 0), EImageError);
  EXPECT_THROW(iplCreateConvKernel(3, 1, 1, 0, {1, 1}, 0), EImageError);
  EXPECT_THROW(iplCreateConvKernel(3, 1, 1, 0, {1, 1, 1}, 32), EImageError);
}

TEST(IplHistogram, CountsTheRegionAndIgnoresLevelsPastTheTable) {
  auto img = Image16({{0, 1, 1, 9}, {3, 3, 3, 3}});
  img->SetROI(iplCreateROI(0, 0, 4, 1));
  TIplHistogram h(4);
  h.counts[2] = 55;  // stale counts are cleared
  iplComputeHisto(*img, h);
  EXPECT_EQ(h.counts, (std::vector<std::int64_t>{1, 2, 0, 0}));
  img->SetROI(std::nullopt);
  iplComputeHisto(*img, h);
  EXPECT_EQ(h.counts, (std::vector<std::int64_t>{1, 2, 0, 4}));
}

TEST(IplHistogram, EqualisationSpreadsLevelsByTheirCounts) {
  // Counts 6, 2, 1, 1: C - C0 = 0, 2, 3, 4 of 4.
  auto img = Image16({{0, 0, 0, 0, 0, 0, 1, 1, 2, 3}});
  TIplHistogram h(4);
  iplComputeHisto(*img, h);
  iplHistoEqualize(*img, *img, h);
  // 32767.5 halves to even.
  EXPECT_EQ(Row(*img, 0), (Ints{0, 0, 0, 0, 0, 0, 32768, 32768, 49151, 65535}));

  // Equal counts over 100 .. 200 are a straight stretch; levels outside the
  // band go to the ends, levels past the table to the top.
  TIplHistogram band(256);
  for (int v = 100; v <= 200; ++v) band.counts[v] = 1;
  auto levels = Image16({{50, 100, 150, 200, 250, 300}});
  auto out = iplCreateImage(6, 1, idDepth16u);
  iplHistoEqualize(*levels, *out, band);
  EXPECT_EQ(Row(*out, 0), (Ints{0, 0, 32768, 65535, 65535, 65535}));

  // One occupied level gives no spread: the pixels are copied.
  TIplHistogram single(256);
  single.counts[7] = 3;
  iplHistoEqualize(*levels, *out, single);
  EXPECT_EQ(Row(*out, 0), (Ints{50, 100, 150, 200, 250, 300}));
}

// Uneven values, so that every tap and every row shows in the result.
Rows Scrambled(int width, int height) {
  Rows rows(height, Ints(width));
  unsigned v = 12345;
  for (auto& r : rows)
    for (int& p : r) p = int((v = v * 1103515245u + 12345u) >> 16) % 60000;
  return rows;
}

Rows Transposed(const Rows& rows) {
  Rows t(rows[0].size(), Ints(rows.size()));
  for (std::size_t y = 0; y < rows.size(); ++y)
    for (std::size_t x = 0; x < rows[0].size(); ++x) t[x][y] = rows[y][x];
  return t;
}

TEST(IplResample, DownTheColumnsAsAcrossTheRows) {
  // Rows are combined from a few held at a time; the result must be the
  // row-wise result turned on its side, for every mode and ratio.
  const struct {
    TIplInterpolation mode;
    int num, den;
  } cases[] = {{iiLinear, 7, 3}, {iiCubic, 3, 2},  {iiNearest, 5, 2}, {iiSuper, 2, 5},
               {iiCubic, 2, 5},  {iiLinear, 1, 3}, {iiSuper, 4, 4}};
  const Rows in = Scrambled(5, 11);
  for (const auto& c : cases) {
    const int out = 11 * c.num / c.den;
    auto down = iplCreateImage(5, out, idDepth16u), across = iplCreateImage(out, 5, idDepth16u);
    auto src = Image16(in), srcT = Image16(Transposed(in));
    if (c.num >= c.den) {
      iplZoom(*src, *down, 1, 1, c.num, c.den, c.mode);
      iplZoom(*srcT, *across, c.num, c.den, 1, 1, c.mode);
    } else {
      iplDecimate(*src, *down, 1, 1, c.num, c.den, c.mode);
      iplDecimate(*srcT, *across, c.num, c.den, 1, 1, c.mode);
    }
    EXPECT_EQ(Pixels(*down), Transposed(Pixels(*across))) << c.mode << " " << c.num << "/" << c.den;
  }
}

TEST(IplConvolve, InPlaceEqualsIntoAnotherImage) {
  // Anchors in every corner and the middle, with and without a region.
  const struct {
    int cols, rows, ax, ay;
    bool region;
  } cases[] = {{3, 3, 0, 0, false}, {3, 3, 2, 2, false}, {5, 3, 2, 1, true},
               {2, 4, 1, 0, true},  {1, 5, 0, 4, false}, {4, 2, 3, 1, true}};
  for (const auto& c : cases) {
    std::vector<int> values(std::size_t(c.cols * c.rows));
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = int(i % 5) * 3 - 4;
    const auto kernel = iplCreateConvKernel(c.cols, c.rows, c.ax, c.ay, values, 2);
    auto inPlace = Image16(Scrambled(9, 8)), source = Image16(Scrambled(9, 8));
    auto other = Image16(Scrambled(9, 8));
    if (c.region) {
      for (auto* img : {inPlace.get(), source.get(), other.get()})
        img->SetROI(iplCreateROI(2, 1, 5, 6));
    }
    iplConvolve2D(*inPlace, *inPlace, kernel.get());
    iplConvolve2D(*source, *other, kernel.get());
    EXPECT_EQ(Pixels(*inPlace), Pixels(*other))
        << c.cols << "x" << c.rows << " at " << c.ax << "," << c.ay;
  }
  // Sums past 32 bits: 2 x 65535 x 60000 >> 17 = 59999.
  auto bright = Image16({{60000, 60000}});
  iplConvolve2D(*bright, *bright, iplCreateConvKernel(2, 1, 0, 0, {65535, 65535}, 17).get());
  EXPECT_EQ(Row(*bright, 0), (Ints{59999, 59999}));
}

TEST(IplImage, CropKeepsTheTopLeftInPlace) {
  const struct {
    TIplDepth depth;
    int channels, width, height;
  } cases[] = {
      {idDepth16u, 1, 5, 3}, {idDepth8u, 3, 2, 4}, {idDepth8u, 1, 7, 0}, {idDepth8u, 1, 9, 6}};
  for (const auto& c : cases) {
    auto img = iplCreateImage(9, 6, c.depth, c.channels);
    for (int y = 0; y < 6; ++y)
      for (int b = 0; b < 9 * img->BytesPerPixel(); ++b)
        img->Row8(y)[b] = std::uint8_t(y * 40 + b + 1);
    img->SetROI(iplCreateROI(1, 1, 2, 2));
    const auto before = iplCloneImage(*img);
    img->Crop(c.width, c.height);
    ASSERT_EQ(img->Width(), c.width);
    ASSERT_EQ(img->Height(), c.height);
    EXPECT_FALSE(img->ROI());
    const int used = c.width * img->BytesPerPixel();
    for (int y = 0; y < c.height; ++y) {
      for (int b = 0; b < used; ++b) EXPECT_EQ(img->Row8(y)[b], before->Row8(y)[b]);
      for (int b = used; b < img->WidthStep(); ++b) EXPECT_EQ(img->Row8(y)[b], 0) << "padding";
    }
    EXPECT_THROW(img->Crop(c.width + 1, c.height), EImageError);
  }
}

}  // namespace
}  // namespace vivurozed
