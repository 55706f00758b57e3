#include "analysis/CurveFit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace vivurozed {
namespace {

struct Fit {
  TVector c;
  double r = -1;
  std::string error;
};

Fit PolyFitOf(const std::vector<double>& x, const std::vector<double>& y, int terms) {
  Fit f;
  try {
    PolyFit(x, y, terms, f.c, f.r);
  } catch (const EMathError& e) {
    f.error = e.what();
  }
  return f;
}

// Fits y = sum k[j] x^j sampled at xs and expects k back with R = 1.
void ExpectRecovered(const std::vector<double>& k, const std::vector<double>& xs, double relTol) {
  std::vector<double> y;
  for (double x : xs) {
    double v = 0;
    for (std::size_t j = k.size(); j-- > 0;) v = v * x + k[j];
    y.push_back(v);
  }
  const Fit f = PolyFitOf(xs, y, int(k.size()));
  ASSERT_EQ(f.c.size(), k.size()) << f.error;
  for (std::size_t j = 0; j < k.size(); ++j) EXPECT_NEAR(f.c[j], k[j], relTol * std::fabs(k[j]));
  EXPECT_NEAR(f.r, 1.0, 1e-9);
}

TEST(PolyFit, RecoversKnownPolynomialsWithROfOne) {
  ExpectRecovered({1, 2}, {1, 3}, 1e-12);
  ExpectRecovered({2, -3, 0.5}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 1e-9);
  // A cubic over 16-bit picture levels, as the wedge correction fits it.
  ExpectRecovered({-5, 0.02, 1e-6, 2e-11}, {2000, 4000, 6000, 8000, 10000, 12000, 14000, 16000},
                  1e-6);
}

TEST(PolyFit, GoodnessOfFitMatchesHandValuesAndDegenerateCases) {
  // Best line 0.2 + 0.2x: SST = 1, SSE = 0.8, R = sqrt(0.2).
  Fit f = PolyFitOf({0, 1, 2, 3}, {0, 1, 0, 1}, 2);
  EXPECT_NEAR(f.c[0], 0.2, 1e-12);
  EXPECT_NEAR(f.c[1], 0.2, 1e-12);
  EXPECT_NEAR(f.r, std::sqrt(0.2), 1e-12);
  // Constant y: SST = 0, counted as a perfect fit.
  f = PolyFitOf({1, 2, 3}, {5, 5, 5}, 2);
  EXPECT_DOUBLE_EQ(f.r, 1.0);
  EXPECT_NEAR(f.c[0], 5.0, 1e-12);
  // One term fits the mean, no better than the mean: SSE = SST, R = 0.
  f = PolyFitOf({1, 2, 3}, {1, 4, 7}, 1);
  EXPECT_NEAR(f.c[0], 4.0, 1e-12);
  EXPECT_EQ(f.r, 0.0);
}

TEST(PolyFit, RefusesBadArgumentsAndSingularDesigns) {
  EXPECT_EQ(PolyFitOf({1, 2}, {1, 2}, 0).error, "PolyFit called with less than one term");
  EXPECT_EQ(PolyFitOf({1}, {1}, 1).error, "PolyFit called with less than two points");
  EXPECT_EQ(PolyFitOf({1, 2}, {1, 2, 3}, 2).error,
            "PolyFit called with x and y of different lengths");
  for (const auto& x : {std::vector<double>{1, 1, 2, 2}, {0.1, 0.1, 0.3, 0.3}}) {
    EXPECT_EQ(PolyFitOf(x, {1, 2, 3, 4}, 3).error, "Error in GaussJordan: matrix is singular");
  }
}

TEST(GaussJordan, SolvesAndLeavesTheInverse) {
  const TMatrix a0 = {{2, 1, -1}, {-3, -1, 2}, {-2, 1, 2}};
  TMatrix a = a0;
  TVector b = {8, -11, -3}, x;
  bool singular = true;
  GaussJordan(a, b, x, singular);
  EXPECT_FALSE(singular);
  ASSERT_EQ(x.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(x[i], (std::vector<double>{2, 3, -1})[i], 1e-12);
    for (int j = 0; j < 3; ++j) {
      double s = 0;
      for (int k = 0; k < 3; ++k) s += a0[i][k] * a[k][j];
      EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-12) << i << "," << j;
    }
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
  EXPECT_THROW(GaussJordan(zero, b, x, singular), EMathError);
}

}  // namespace
}  // namespace vivurozed
