#include "map/MapWithWarp.h"

#include <gtest/gtest.h>

#include <cmath>

#include "MapTestUtil.h"
#include "analysis/CurveFit.h"

namespace vivurozed {
namespace {

constexpr double kRadius = 6378.135, kHeight = 805.362, kHalfAngle = 55.37;
constexpr double kHalf = kHalfAngle * M_PI / 180;

// An APT pass centred on 50 N, 3 W, 3.3 km a line.
struct AptMapping : TWarpedMapping {
  explicit AptMapping(int mid = 420) { Initialise(3, mid, kHalfAngle, 3.3, kHeight, 50, -3); }
};

TEST(WarpedMapping, AptPixelPatternAveragesOneToFourSamples) {
  // By hand: single samples at the edges, pairs of pixels sharing three
  // samples, then 2, 3 and 4 samples a pixel toward the middle.
  const std::pair<int, double> cases[] = {{-454, -1024},
                                          {-334, -904},
                                          {-333, -903 + 1 / 3.0},
                                          {-332, -901 - 1 / 3.0},
                                          {-271, -809.5},
                                          {-189, -645.5},
                                          {-188, -643},
                                          {-78, -312.5},
                                          {0, -0.5},
                                          {79, 315},
                                          {189, 644.5},
                                          {272, 810 + 1 / 3.0},
                                          {333, 902 - 1 / 3.0},
                                          {334, 903},
                                          {454, 1023}};
  for (const auto& [u, offset] : cases) EXPECT_NEAR(AptPixelSampleOffset(u), offset, 1e-9) << u;
  for (int u = -453; u <= 454; ++u) ASSERT_GT(AptPixelSampleOffset(u), AptPixelSampleOffset(u - 1));
}

TEST(WarpedMapping, TablesFollowTheScanGeometryAndRiseMonotonically) {
  const AptMapping mapping;
  // The scan angle to a ground point by the law of sines; a ground step is
  // 1.1 km, a third of the line step.
  for (int i : {0, 500, 1200}) {
    const double gamma = (i + 0.5) * 1.1 / kRadius, r = kRadius + kHeight;
    const double slant = std::sqrt(kRadius * kRadius + r * r - 2 * kRadius * r * std::cos(gamma));
    const double f = std::asin(kRadius * std::sin(gamma) / slant) * 1024 / kHalf;
    EXPECT_NEAR(mapping.SampleTable(i), 1023.5 + f, 1e-6);
    EXPECT_NEAR(mapping.SampleTable(-i - 1), 1023.5 - f, 1e-6);
  }
  for (int i = -2047; i < 2048; ++i) ASSERT_GT(mapping.SampleTable(i), mapping.SampleTable(i - 1));
  for (int p = -1023; p < 1024; ++p) ASSERT_GT(mapping.GroundTable(p), mapping.GroundTable(p - 1));
  for (int u = -453; u <= 454; ++u) ASSERT_GT(mapping.AptGround(u), mapping.AptGround(u - 1));
  for (int g = -599; g <= 600; ++g) ASSERT_GE(mapping.AptInverse(g), mapping.AptInverse(g - 1));
  // The line is as wide as the swath on the sphere, in steps of 3.3 km.
  const double edge = kHalf * 1023.5 / 1024;
  EXPECT_NEAR(
      mapping.GetWidth(),
      2 * kRadius * (std::asin((kRadius + kHeight) / kRadius * std::sin(edge)) - edge) / 3.3, 3);
}

TEST(WarpedMapping, InverseAptTableIsWithinOnePixelOfTheForwardOne) {
  const AptMapping mapping;
  // Every whole ground position of the picture against the forward table,
  // interpolated between its pixels.
  int u = -454;
  for (int g = int(std::ceil(mapping.AptGround(-454))); g <= mapping.AptGround(454); ++g) {
    while (mapping.AptGround(u + 1) < g) ++u;
    const double forward =
        u + (g - mapping.AptGround(u)) / (mapping.AptGround(u + 1) - mapping.AptGround(u));
    ASSERT_NEAR(mapping.AptInverse(g), forward, 1.0) << g;
  }
  // Earth point k lies on the pixel of scanner offset 40k - 1000.
  for (int k = 0; k <= 50; ++k)
    EXPECT_NEAR(mapping.SampleColumn(k), testing::PixelOfOffset(40 * k - 1000), 1);
}

TEST(WarpedMapping, ProjectionEdgeCases) {
  float x = 0, y = 0, x2 = 0, y2 = 0;
  EXPECT_FALSE(TWarpedMapping().Project(50, -3, false, x, y));  // no centre yet
  AptMapping mapping;
  const float n = float(mapping.GetWidth());
  struct Case {
    float lat, lon;
    bool toPicture, ok;
    float x, y;
  };
  const Case cases[] = {{50, -3, false, true, n / 2, 420},
                        {-50, 177, false, true, n / 2, 420},  // antipode
                        {50, -3, true, true, 454, 420},
                        {50, 60, true, false, 0, 0},  // beyond the strip
                        {10, -3, true, false, 0, 0}};
  for (const auto& c : cases) {
    ASSERT_EQ(mapping.Project(c.lat, c.lon, c.toPicture, x, y), c.ok) << c.lat << "," << c.lon;
    if (c.ok) {
      EXPECT_TRUE(std::abs(x - c.x) < 1e-3 && std::abs(y - c.y) < 1e-3) << x << "," << y;
    }
  }
  // Longitude differences of -190 and 170 degrees are the same.
  mapping.Project(10, -193, false, x, y);
  mapping.Project(10, 167, false, x2, y2);
  EXPECT_TRUE(x == x2 && y == y2);
  int ix = 0, iy = 0;  // east lies right, north up
  EXPECT_TRUE(mapping.Project(50, 0, ix, iy) && ix > 454);
  EXPECT_TRUE(mapping.Project(52, -3, ix, iy) && iy < 420);
  EXPECT_THROW(mapping.Initialise(3, 0, kHalfAngle, 0, kHeight, 0, 0), EMathError);
  mapping.Initialise(0, 0, 0, 3.3, kHeight, 0, 0);
  EXPECT_EQ(mapping.Mode(), 2);
  mapping.Initialise(0, 0, 0, 1.1, kHeight, 0, 0);
  EXPECT_EQ(mapping.Mode(), 1);
}

}  // namespace
}  // namespace vivurozed
