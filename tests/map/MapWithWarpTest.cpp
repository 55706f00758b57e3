#include "map/MapWithWarp.h"

#include <gtest/gtest.h>

#include <cmath>

#include "analysis/CurveFit.h"

namespace vivurozed {
namespace {

constexpr double kRadius = 6378.135, kHeight = 805.362, kHalfAngle = 55.37;

// An APT pass centred on 50 N, 3 W.
struct AptMapping : TWarpedMapping {
  explicit AptMapping(int mid = 420) { Initialise(3, mid, kHalfAngle, 3.3, kHeight, 50, -3); }
};

TEST(WarpedMapping, AptPixelPatternAveragesOneToFourSamples) {
  struct Case {
    int u;
    double offset;
  };
  // By hand from the pattern: single samples at the edges, pairs sharing
  // three samples, then 2, 3 and 4 samples a pixel toward the middle.
  const Case cases[] = {
      {-454, -1024},
      {-334, -904},
      {-333, -903 + 1 / 3.0},
      {-332, -901 - 1 / 3.0},
      {-272, -811 - 1 / 3.0},
      {-271, -809.5},
      {-189, -645.5},
      {-188, -643},
      {-79, -316},
      {-78, -312.5},
      {0, -0.5},
      {78, 311.5},
      {79, 315},
      {188, 642},
      {189, 644.5},
      {271, 808.5},
      {272, 810 + 1 / 3.0},
      {333, 902 - 1 / 3.0},
      {334, 903},
      {454, 1023},
  };
  for (const auto& c : cases) EXPECT_NEAR(AptPixelSampleOffset(c.u), c.offset, 1e-9) << c.u;
  for (int u = -453; u <= 454; ++u)
    EXPECT_GT(AptPixelSampleOffset(u), AptPixelSampleOffset(u - 1)) << u;
}

TEST(WarpedMapping, TablesFollowTheScanGeometry) {
  const AptMapping mapping;
  // The scan angle to a ground point by the law of sines, independent of the
  // tables' own formula: a ground step is 1.1 km, a third of the line step.
  for (int i : {0, 100, 500, 1000, 1200}) {
    const double gamma = (i + 0.5) * 1.1 / kRadius;
    const double slant = std::sqrt(kRadius * kRadius + std::pow(kRadius + kHeight, 2) -
                                   2 * kRadius * (kRadius + kHeight) * std::cos(gamma));
    const double theta = std::asin(kRadius * std::sin(gamma) / slant);
    EXPECT_NEAR(mapping.SampleTable(i), 1023.5 + theta * 1024 / (kHalfAngle * M_PI / 180), 1e-6);
    EXPECT_NEAR(mapping.SampleTable(-i - 1), 1023.5 - theta * 1024 / (kHalfAngle * M_PI / 180),
                1e-6);
  }
  for (int i = -2047; i < 2048; ++i) ASSERT_GT(mapping.SampleTable(i), mapping.SampleTable(i - 1));
  for (int p = -1023; p < 1024; ++p) {
    ASSERT_GT(mapping.GroundTable(p), mapping.GroundTable(p - 1)) << p;
    // The ground table inverts the sample table.
    const double x = mapping.GroundTable(p);
    const int k = int(std::floor(x));
    const double s =
        mapping.SampleTable(k) + (x - k) * (mapping.SampleTable(k + 1) - mapping.SampleTable(k));
    ASSERT_NEAR(s - 1024, p, 1.0) << p;
  }
  for (int u = -453; u <= 454; ++u) ASSERT_GT(mapping.AptGround(u), mapping.AptGround(u - 1));
  for (int g = -599; g <= 600; ++g) ASSERT_GE(mapping.AptInverse(g), mapping.AptInverse(g - 1));
  // The swath on the sphere: the ground distance to the edge of the scan.
  const double edge =
      std::asin((kRadius + kHeight) / kRadius * std::sin(kHalfAngle * 1023.5 / 1024 * M_PI / 180)) -
      kHalfAngle * 1023.5 / 1024 * M_PI / 180;
  EXPECT_NEAR(mapping.GetWidth(), 2 * edge * kRadius / 3.3, 3);
}

TEST(WarpedMapping, InverseApTableIsWithinOnePixelOfTheForwardOne) {
  const AptMapping mapping;
  for (int u = -454; u <= 454; ++u)
    EXPECT_NEAR(mapping.AptInverse(int(std::lrint(mapping.AptGround(u)))), u, 1.0) << u;
  // Every whole ground position inside the picture against the forward
  // table, interpolated between pixels.
  int u = -454;
  for (int g = int(std::ceil(mapping.AptGround(-454))); g <= mapping.AptGround(454); ++g) {
    while (mapping.AptGround(u + 1) < g) ++u;
    const double forward =
        u + (g - mapping.AptGround(u)) / (mapping.AptGround(u + 1) - mapping.AptGround(u));
    EXPECT_NEAR(mapping.AptInverse(g), forward, 1.0) << g;
  }
  // Earth point k sits on the pixel of scanner offset 40k - 1000.
  for (int k = 0; k <= 50; ++k) {
    int nearest = -454;
    for (int v = -454; v <= 454; ++v)
      if (std::abs(AptPixelSampleOffset(v) - (40 * k - 1000)) <
          std::abs(AptPixelSampleOffset(nearest) - (40 * k - 1000)))
        nearest = v;
    EXPECT_NEAR(mapping.SampleColumn(k), nearest + 454, 1.0) << k;
  }
}

TEST(WarpedMapping, ProjectionEdgeCases) {
  TWarpedMapping unset;
  float x = 0, y = 0;
  EXPECT_FALSE(unset.Project(50, -3, false, x, y));
  EXPECT_EQ(unset.GetWidth(), 2);

  AptMapping mapping;
  const float n = float(mapping.GetWidth());
  struct Case {
    float lat, lon;
    bool toPicture, ok;
    float x, y;
  };
  const Case cases[] = {
      {50, -3, false, true, n / 2, 420},    // the centre
      {-50, 177, false, true, n / 2, 420},  // its antipode lands on the centre too
      {50, -3, true, true, 454, 420},       // the middle of the picture line
      {50, 60, true, false, 0, 0},          // beyond the scanned strip
      {10, -3, true, false, 0, 0},          // far along the track
  };
  for (const auto& c : cases) {
    x = y = -1;
    ASSERT_EQ(mapping.Project(c.lat, c.lon, c.toPicture, x, y), c.ok) << c.lat << "," << c.lon;
    if (!c.ok) continue;
    EXPECT_NEAR(x, c.x, 1e-3);
    EXPECT_NEAR(y, c.y, 1e-3);
  }
  // Longitude differences of -190 and 170 degrees are the same.
  float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  mapping.Project(10, -193, false, x1, y1);
  mapping.Project(10, 167, false, x2, y2);
  EXPECT_FLOAT_EQ(x1, x2);
  EXPECT_FLOAT_EQ(y1, y2);
  // East of the centre lies right, north lies up.
  int ix = 0, iy = 0;
  ASSERT_TRUE(mapping.Project(50, 0, ix, iy));
  EXPECT_GT(ix, 454);
  ASSERT_TRUE(mapping.Project(52, -3, ix, iy));
  EXPECT_LT(iy, 420);
  EXPECT_EQ(AptMapping().Mode(), 3);
  EXPECT_THROW(mapping.Initialise(3, 0, 55.37, 0, kHeight, 0, 0), EMathError);
  TWarpedMapping chosen;
  chosen.Initialise(0, 0, 0, 3.3, kHeight, 0, 0);
  EXPECT_EQ(chosen.Mode(), 2);
  chosen.Initialise(0, 0, 0, 1.1, kHeight, 0, 0);
  EXPECT_EQ(chosen.Mode(), 1);
}

TEST(WarpedMapping, ResidualsAreInterpolatedBetweenTheEarthPointColumns) {
  AptMapping mapping(2);
  TResidualArray grid(5);
  for (auto& row : grid)
    for (int k = 0; k <= 50; ++k) row[std::size_t(k)] = {float(k), float(-k) / 10};
  mapping.SetResiduals(grid);
  // Points on the mid line at chosen columns: found in the uncorrected map.
  AptMapping plain(2);
  const double c24 = std::lrint(mapping.SampleColumn(24)),
               c25 = std::lrint(mapping.SampleColumn(25));
  int tested = 0;
  for (float lon = -3.5f; lon <= -2.5f; lon += 0.01f) {
    float px = 0, py = 0, x = 0, y = 0;
    ASSERT_TRUE(plain.Project(50, lon, true, px, py));
    ASSERT_TRUE(mapping.Project(50, lon, true, x, y));
    if (px < c24 || px > c25) continue;
    const double t = (px - c24) / (c25 - c24);
    EXPECT_NEAR(x - px, 24 + t, 1e-4);
    EXPECT_NEAR(y - py, -(24 + t) / 10, 1e-4);
    ++tested;
  }
  EXPECT_GT(tested, 3);
  // Beyond the outermost columns the outermost corrections apply.
  int outside = 0;
  for (float lon = -30; lon <= 24; lon += 0.05f) {
    float x = 0, y = 0, px = 0, py = 0;
    if (!plain.Project(50, lon, true, px, py)) continue;
    ASSERT_TRUE(mapping.Project(50, lon, true, x, y));
    if (px >= mapping.SampleColumn(0) && px <= mapping.SampleColumn(50)) continue;
    EXPECT_FLOAT_EQ(x - px, px < 454 ? 0 : 50) << lon;
    ++outside;
  }
  EXPECT_GT(outside, 4);
}

}  // namespace
}  // namespace vivurozed
