#include "signal/SignalDetectors.h"

#include <gtest/gtest.h>

#include <memory>

#include "SignalTestUtil.h"

namespace vivurozed {
namespace {

using namespace signaltest;

std::vector<TSample> Cosine(double hz, int count, double amplitude) {
  return Signal(count, [=](int i) { return amplitude * std::cos(2 * kPi * hz * i / kRate); });
}

// --- TSignalSyncDemod -------------------------------------------------------------

TEST(SyncDemod, AsynchronousRectifiesAtTwiceTheRate) {
  TSignalSyncDemod d;
  std::vector<TSample> a = {{2, 5}, {-4, 6}};
  d.DataIn(nullptr, a);
  // Positions |0+2|/2, |2|, |2-4|/2, |-4|: pairs averaged.
  EXPECT_EQ(a, (std::vector<TSample>{{1.5f, 5}, {2.5f, 6}}));
  std::vector<TSample> b = {{6, 0}};  // the previous block's last sample carries over
  d.DataIn(nullptr, b);
  EXPECT_EQ(b[0], TSample((1 + 6) / 2.0f, 0));
}

TEST(SyncDemod, SmoothedRectifierGivesTheMeanOfTheRectifiedCarrier) {
  TSignalSyncDemod d;
  d.SetSampleRate(kRate);
  d.SetBoxcarIntegration(true);
  auto s = Sine(2400, 3 * kRate, 3000);
  Feed(d, s, {8192});
  // The mean of |sin| is 2/pi; the interpolated mid-points are a sine of
  // amplitude cos(w/2), w being the carrier's step per sample.
  const auto [lo, hi] = std::minmax_element(s.begin() + 2 * kRate, s.end(),
                                            [](auto x, auto y) { return x.real() < y.real(); });
  const double truth = 3000 * 2 / kPi * (1 + std::cos(kPi * 2400 / kRate)) / 2;
  EXPECT_NEAR((lo->real() + hi->real()) / 2, truth, 0.01 * truth);
  EXPECT_LT(hi->real() - lo->real(), 0.02 * 3000);

  // A constant input settles at its magnitude.
  TSignalSyncDemod dc;
  dc.SetBoxcarIntegration(true);
  std::vector<TSample> c(20000, TSample(-700.0f, 0.0f));
  dc.DataIn(nullptr, c);
  EXPECT_NEAR(c.back().real(), 700, 1.0);
}

TEST(SyncDemod, SynchronousDetectorMultipliesByTheRegeneratedCarrier) {
  TSignalSyncDemod d;
  d.SetSampleRate(kRate);
  d.SetIsSynchronous(true);
  auto s = Sine(2400, 2 * kRate, 3000);
  for (auto& x : s) x.imag(-3.0f);
  Feed(d, s, {4096});
  // The carrier's fundamental is 4/pi in phase with the input: a mean of
  // 3000 * 2 / pi.
  double sum = 0;
  for (std::size_t i = kRate; i < s.size(); ++i) sum += s[i].real();
  EXPECT_NEAR(sum / kRate, 3000 * 2 / kPi, 0.03 * 3000 * 2 / kPi);
  for (const auto& x : s) ASSERT_EQ(x.imag(), -3.0f);
}

// --- TSignalToneDetect2 -------------------------------------------------------------

std::unique_ptr<TSignalToneDetect2> MakeDetector(int frequency, int count) {
  auto d = std::make_unique<TSignalToneDetect2>();
  d->SetSampleRate(kRate);
  d->SetFrequency(frequency);
  d->SetIntegrationCount(count);
  return d;
}

TEST(ToneDetect2, ASteadyToneRisesOverTheIntegrationCountToOneHalf) {
  auto s = Cosine(1000, 8192, 3000);
  MakeDetector(1000, 200)->DataIn(nullptr, s);
  EXPECT_NEAR(s[99].imag(), 0.5 * 0.25, 0.02);  // half-way: |S| is half
  for (std::size_t i = 200; i < s.size(); i += 17) ASSERT_NEAR(s[i].imag(), 0.5, 0.02) << i;

  // A few bandwidths (11025 / 200 Hz) away it reads near 0.
  auto t = Cosine(1000 + 4.5 * kRate / 200.0, 8192, 3000);
  MakeDetector(1000, 200)->DataIn(nullptr, t);
  for (std::size_t i = 200; i < t.size(); i += 17) ASSERT_LT(t[i].imag(), 0.01) << i;

  // A constant block has no tone.
  std::vector<TSample> c(1000, TSample(123.0f, 0.0f));
  MakeDetector(500, 50)->DataIn(nullptr, c);
  for (const auto& x : c) ASSERT_EQ(x.imag(), 0.0f);
}

TEST(ToneDetect2, RealPartsAreDelayedByTheIntegrationCountAcrossAnyBlocks) {
  auto d = MakeDetector(500, 300);
  auto s = Signal(3000, [](int i) { return i + 1.0; });
  Feed(*d, s, {1000, 100, 7, 450, 1});  // blocks shorter and longer than the delay
  for (std::size_t i = 0; i < s.size(); ++i) {
    ASSERT_EQ(s[i].real(), i < 300 ? 0.0f : static_cast<float>(i - 300 + 1)) << i;
  }
}

TEST(ToneDetect2, ToneCentreIsTheMiddleOfTheDetection) {
  auto d = MakeDetector(1200, 100);
  auto s = Signal(8000, [](int i) {
    return i >= 3000 && i < 5000 ? 2000 * std::cos(2 * kPi * 1200 * i / kRate) : 0.0;
  });
  d->DataIn(nullptr, s);
  EXPECT_FALSE(d->ToneOn());
  // The sum rises over 100 samples after 3000 and falls over 100 after 5000:
  // the threshold crossings lie symmetric about (3000 + 5000 + 100) / 2.
  EXPECT_NEAR(static_cast<double>(d->ToneCentre()), 4050, 2);
}

TEST(ToneDetect2, NewIntegrationCountRestartsTheMovingSum) {
  auto d = MakeDetector(1000, 0);
  EXPECT_EQ(d->IntegrationCount(), 1);
  d->SetIntegrationCount(100);
  auto tone = Cosine(1000, 1000, 3000);
  d->DataIn(nullptr, tone);
  ASSERT_NEAR(tone.back().imag(), 0.5, 0.03);
  d->SetIntegrationCount(100);
  auto other = Cosine(3000, 1000, 3000);
  d->DataIn(nullptr, other);
  EXPECT_LT(other.back().imag(), 0.01);
}

// --- TSignalAutocorrelation -----------------------------------------------------------

TEST(Autocorrelation, HandComputedSmallCase) {
  TSignalAutocorrelation ac;
  ac.SetLength(1);
  std::vector<TSample> s = {{1, 10}, {2, 20}, {3, 30}, {4, 40}};
  ac.DataIn(nullptr, s);
  EXPECT_EQ(ac.FillCount(), 3);  // the fourth sample is past 3N
  EXPECT_EQ(ac.BufferB()[2], 30.0f);
  const auto b = ac.Compute(true);
  EXPECT_FLOAT_EQ(ac.Mean(), 2.0f);
  EXPECT_FLOAT_EQ(ac.Minimum(), 1.9f);  // smoother: 1.9, 1.91, 2.019
  EXPECT_FLOAT_EQ(ac.Maximum(), 2.019f);
  // A - mean = -1, 0, 1; lags 0 and 1 (7N/3 = 2), unbiased.
  ASSERT_EQ(b.size(), 3u);
  EXPECT_FLOAT_EQ(b[0], 2.0f / 3);
  EXPECT_FLOAT_EQ(b[1], 0.0f);
  EXPECT_EQ(b[2], 0.0f);
  ac.SetLength(1);  // the same length keeps everything
  EXPECT_EQ(ac.FillCount(), 3);
  ac.SetLength(2);
  EXPECT_EQ(ac.FillCount(), 0);
  EXPECT_EQ(ac.Mean(), 0.0f);
  EXPECT_EQ(ac.BufferA().size(), 6u);
}

TEST(Autocorrelation, PeaksAtThePeriodOfAPeriodicSignal) {
  TSignalAutocorrelation ac;
  ac.SetLength(5512);  // half a second at 11025 Hz, as the analyser uses it
  EXPECT_EQ(ac.LagCount(), 12861);
  const int period = 2756;  // four lines a second
  unsigned state = 7;
  auto s = Signal(2 * kRate, [&](int i) {
    state = state * 1103515245u + 12345u;
    const double noise = static_cast<double>(state >> 16 & 0x7FFF) / 32768.0 - 0.5;
    const int phase = i % period;
    return 5000.0 + (phase < 300 ? 4000.0 : 0.0) + 1500 * std::sin(2 * kPi * phase / 97.0) +
           2000 * noise;
  });
  Feed(ac, s, {8192});
  const auto b = ac.Compute(true);
  EXPECT_NEAR(ac.Mean(), 5000 + 4000 * 300.0 / period, 60);
  // Search past the central lobe, up to half way to the second multiple.
  EXPECT_EQ(std::max_element(b.begin() + 200, b.begin() + period * 3 / 2) - b.begin(), period);
  for (std::size_t k = static_cast<std::size_t>(ac.LagCount()); k < b.size(); ++k) {
    ASSERT_EQ(b[k], 0.0f);
  }
}

}  // namespace
}  // namespace vivurozed
