#include "platform/VectorLib.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace vivurozed::vec {
namespace {

std::vector<float> RandomSignal(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> d(-1000.0f, 1000.0f);
  std::vector<float> v(n);
  for (auto& x : v) x = d(rng);
  return v;
}

// Plain convolution with a zero history, the definition the filter must meet.
std::vector<float> Convolve(const std::vector<float>& x, const std::vector<float>& taps) {
  std::vector<float> y(x.size(), 0.0f);
  for (std::size_t i = 0; i < x.size(); ++i) {
    double s = 0;
    for (std::size_t k = 0; k < taps.size() && k <= i; ++k) s += double(taps[k]) * x[i - k];
    y[i] = static_cast<float>(s);
  }
  return y;
}

TEST(FirState, MatchesConvolutionAcrossBlocksOfAnyLength) {
  const std::vector<float> taps = {0.5f, -0.25f, 0.125f, 1.0f, 0.0625f, -2.0f, 0.3f};
  const auto x = RandomSignal(1000, 7);
  const auto expected = Convolve(x, taps);

  FirState fir(taps);
  std::vector<float> y(x.size());
  std::size_t pos = 0;
  for (std::size_t len : {1, 3, 2, 250, 6, 7, 400, 331}) {
    fir.Filter(std::span(x).subspan(pos, len), std::span(y).subspan(pos, len));
    pos += len;
  }
  ASSERT_EQ(pos, x.size());
  for (std::size_t i = 0; i < x.size(); ++i) EXPECT_NEAR(y[i], expected[i], 1e-2) << i;
}

TEST(FirState, FiltersInPlaceAndResetClearsTheDelayLine) {
  const std::vector<float> taps = {1.0f, 1.0f, 1.0f};
  FirState fir(taps);
  std::vector<float> v = {1, 2, 3, 4};
  fir.Filter(v, v);
  EXPECT_EQ(v, (std::vector<float>{1, 3, 6, 9}));
  v = {0, 0};
  fir.Filter(v, v);
  EXPECT_EQ(v, (std::vector<float>{7, 4}));  // the history of 3 and 4 carries over
  fir.Reset();
  v = {0, 0};
  fir.Filter(v, v);
  EXPECT_EQ(v, (std::vector<float>{0, 0}));
}

TEST(Windows, AreSymmetricWithKnownEndsAndCentre) {
  struct Case {
    void (*fn)(std::span<float>);
    float end, centre;
  };
  const Case cases[] = {{WinBartlett, 0.0f, 1.0f},
                        {WinHann, 0.0f, 1.0f},
                        {WinHamming, 0.08f, 1.0f},
                        {WinBlackmanStd, 0.0f, 1.0f},
                        {WinBlackmanOpt, 0.0f, 1.0f}};
  for (const auto& c : cases) {
    std::vector<float> v(31, 2.0f);
    c.fn(v);
    EXPECT_NEAR(v.front(), 2 * c.end, 1e-5);
    EXPECT_NEAR(v[15], 2 * c.centre, 1e-5);
    for (std::size_t i = 0; i < v.size(); ++i) EXPECT_NEAR(v[i], v[v.size() - 1 - i], 1e-5);
  }
  std::vector<float> hann(5, 1.0f);
  WinHann(hann);
  EXPECT_NEAR(hann[1], 0.5f, 1e-6);
}

TEST(Conversions, WordsRoundHalvesToEvenAndClip) {
  const std::vector<float> in = {-5.0f, 0.4f, 0.5f, 1.5f, 2.5f, 65534.6f, 70000.0f, NAN};
  std::vector<std::uint16_t> out(in.size());
  FloatToWords(in, out);
  EXPECT_EQ(out, (std::vector<std::uint16_t>{0, 0, 0, 2, 2, 65535, 65535, 0}));
}

TEST(AutoCorr, FftPathMatchesDirectSumsForEveryType) {
  const auto x = RandomSignal(3000, 11);
  for (AutoCorrType type : {acNormal, acBiased, acUnbiased}) {
    std::vector<float> got(2500);
    AutoCorr(x, got, type);
    for (std::size_t k : {0u, 1u, 17u, 1000u, 2499u}) {
      double s = 0;
      for (std::size_t i = 0; i + k < x.size(); ++i) s += double(x[i]) * x[i + k];
      if (type == acBiased) s /= x.size();
      if (type == acUnbiased) s /= double(x.size() - k);
      EXPECT_NEAR(got[k], s, std::abs(s) * 1e-4 + 1.0) << "type " << int(type) << " lag " << k;
    }
  }
}

TEST(AutoCorr, PeaksAtThePeriodAndZeroesLagsPastTheLength) {
  std::vector<float> x(4000);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = std::sin(2 * M_PI * i / 80.0);
  std::vector<float> r(300);
  AutoCorr(x, r, acUnbiased);
  const auto peak = std::max_element(r.begin() + 40, r.end()) - r.begin();
  EXPECT_EQ(peak % 80, 0);
  std::vector<float> shortIn = {1, 2};
  std::vector<float> out(4, 9.0f);
  AutoCorr(shortIn, out, acNormal);
  EXPECT_EQ(out, (std::vector<float>{5, 2, 0, 0}));
}

TEST(SmallHelpers, ExtremesProductsAndSums) {
  const std::vector<float> f = {3, -7, 2};
  EXPECT_EQ(Min(f), -7);
  EXPECT_EQ(Max(f), 3);
  std::vector<std::int16_t> w = {-5, 10, 300, -32768};
  EXPECT_EQ(Min(std::span<const std::int16_t>(w)), -32768);
  EXPECT_EQ(Max(std::span<const std::int16_t>(w)), 300);
  const std::vector<cfloat> a = {{3, 4}, {-1, 0}, {0, -2}};
  std::vector<cfloat> b = {{1, 1}, {0, 1}, {2, 0}};
  Mul(a, b);
  EXPECT_EQ(b, (std::vector<cfloat>{{-1, 7}, {0, -1}, {0, -4}}));
  // Add accumulates into the shorter length.
  std::vector<float> sums = {1, -5, 8};
  Add(std::vector<float>{4, 6, 9, 100}, sums);
  EXPECT_EQ(sums, (std::vector<float>{5, 1, 17}));
}

}  // namespace
}  // namespace vivurozed::vec
