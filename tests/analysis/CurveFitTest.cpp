#include "analysis/CurveFit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace vivurozed {
namespace {

std::string FitError(std::vector<double> x, std::vector<double> y, int terms) {
  TVector c;
  double r = -1;
  try {
    PolyFit(x, y, terms, c, r);
  } catch (const EMathError& e) {
    return e.what();
  }
  return "no error";
}

TEST(PolyFit, RecoversKnownPolynomialsWithROfOne) {
  TVector c;
  double r = 0;
  const std::vector<double> x2 = {1, 3}, y2 = {3, 7};
  PolyFit(x2, y2, 2, c, r);
  ASSERT_EQ(c.size(), 2u);
  EXPECT_NEAR(c[0], 1.0, 1e-12);
  EXPECT_NEAR(c[1], 2.0, 1e-12);
  EXPECT_DOUBLE_EQ(r, 1.0);

  std::vector<double> x, y;
  for (int i = 0; i < 10; ++i) {
    x.push_back(i);
    y.push_back(2 - 3 * i + 0.5 * i * i);
  }
  PolyFit(x, y, 3, c, r);
  EXPECT_NEAR(c[0], 2.0, 1e-9);
  EXPECT_NEAR(c[1], -3.0, 1e-9);
  EXPECT_NEAR(c[2], 0.5, 1e-10);
  EXPECT_NEAR(r, 1.0, 1e-12);

  // A cubic over 16-bit picture levels, as the wedge correction fits it.
  const double k[] = {-5, 0.02, 1e-6, 2e-11};
  x.clear();
  y.clear();
  for (int i = 1; i <= 8; ++i) {
    const double v = 2000.0 * i;
    x.push_back(v);
    y.push_back(k[0] + k[1] * v + k[2] * v * v + k[3] * v * v * v);
  }
  PolyFit(x, y, 4, c, r);
  for (int j = 0; j < 4; ++j) EXPECT_NEAR(c[j], k[j], 1e-6 * std::fabs(k[j])) << j;
  EXPECT_NEAR(r, 1.0, 1e-9);
}

TEST(PolyFit, GoodnessOfFitMatchesHandValuesAndDegenerateCases) {
  TVector c;
  double r = 0;
  // Best line 0.2 + 0.2x: SST = 1, SSE = 0.8, R = sqrt(0.2).
  PolyFit(std::vector<double>{0, 1, 2, 3}, std::vector<double>{0, 1, 0, 1}, 2, c, r);
  EXPECT_NEAR(c[0], 0.2, 1e-12);
  EXPECT_NEAR(c[1], 0.2, 1e-12);
  EXPECT_NEAR(r, std::sqrt(0.2), 1e-12);

  // Constant y: SST = 0, counted as a perfect fit.
  PolyFit(std::vector<double>{1, 2, 3}, std::vector<double>{5, 5, 5}, 2, c, r);
  EXPECT_DOUBLE_EQ(r, 1.0);
  EXPECT_NEAR(c[0], 5.0, 1e-12);

  // One term fits the mean, no better than the mean: SSE = SST, R = 0.
  PolyFit(std::vector<double>{1, 2, 3}, std::vector<double>{1, 4, 7}, 1, c, r);
  EXPECT_NEAR(c[0], 4.0, 1e-12);
  EXPECT_EQ(r, 0.0);
}

TEST(PolyFit, RefusesBadArgumentsAndSingularDesigns) {
  EXPECT_EQ(FitError({1, 2}, {1, 2}, 0), "PolyFit called with less than one term");
  EXPECT_EQ(FitError({1}, {1}, 1), "PolyFit called with less than two points");
  EXPECT_EQ(FitError({1, 1, 2, 2}, {1, 2, 3, 4}, 3), "Error in GaussJordan: matrix is singular");
  EXPECT_EQ(FitError({0.1, 0.1, 0.3, 0.3, 0.3}, {1, 2, 3, 4, 5}, 3),
            "Error in GaussJordan: matrix is singular");
  EXPECT_EQ(FitError({1, 2}, {1, 2, 3}, 2), "PolyFit called with x and y of different lengths");
}

TEST(GaussJordan, SolvesAndLeavesTheInverse) {
  const TMatrix a0 = {{2, 1, -1}, {-3, -1, 2}, {-2, 1, 2}};
  TMatrix a = a0;
  TVector b = {8, -11, -3}, x;
  bool singular = true;
  GaussJordan(a, b, x, singular);
  EXPECT_FALSE(singular);
  ASSERT_EQ(x.size(), 3u);
  EXPECT_NEAR(x[0], 2, 1e-12);
  EXPECT_NEAR(x[1], 3, 1e-12);
  EXPECT_NEAR(x[2], -1, 1e-12);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double s = 0;
      for (int k = 0; k < 3; ++k) s += a0[i][k] * a[k][j];
      EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-12) << i << "," << j;
    }
}

TEST(GaussJordan, ReportsAZeroPivotAsSingular) {
  TMatrix a = {{1, 2}, {2, 4}};
  TVector b = {1, 2}, x;
  bool singular = false;
  try {
    GaussJordan(a, b, x, singular);
    FAIL() << "no error";
  } catch (const EMathError& e) {
    EXPECT_STREQ(e.what(), "Error in GaussJordan2: matrix is singular");
  }
  EXPECT_TRUE(singular);
  EXPECT_TRUE(x.empty());

  TMatrix zero = {{0, 0}, {0, 0}};
  b = {0, 0};
  EXPECT_THROW(GaussJordan(zero, b, x, singular), EMathError);
}

TEST(NormalEquations, BuildsSymmetricProducts) {
  const TMatrix design = {{1, 2}, {1, 3}, {1, 5}};
  TMatrix m;
  TVector v;
  NormalEquations(design, std::vector<double>{1, 0, 2}, m, v);
  EXPECT_EQ(m, (TMatrix{{3, 10}, {10, 38}}));
  EXPECT_EQ(v, (TVector{3, 12}));
}

}  // namespace
}  // namespace vivurozed
