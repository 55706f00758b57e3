#include "signal/SignalFilters.h"

#include <gtest/gtest.h>

#include <complex>
#include <memory>
#include <tuple>

#include "SignalTestUtil.h"
#include "signal/SignalHilbert.h"

namespace vivurozed {
namespace {

using namespace signaltest;
using Maker = std::function<std::unique_ptr<TSignalProcessor>()>;

// Steady-state gain for a sine at hz (the second half of four seconds), of
// the real or the imaginary output.
double Gain(TSignalProcessor& p, double hz, bool imag = false) {
  auto s = Sine(hz, 4 * kRate);
  Feed(p, s, {8192});
  double sum = 0;
  for (std::size_t i = s.size() / 2; i < s.size(); ++i) {
    const double v = imag ? s[i].imag() : s[i].real();
    sum += v * v;
  }
  return std::sqrt(4 * sum / static_cast<double>(s.size()));
}

std::unique_ptr<TSignalProcessor> Iir(int poles) {
  std::unique_ptr<TSignalProcessor> f;
  if (poles == 6) f = std::make_unique<TSignalIIRFilter6pole>();
  if (poles == 12) f = std::make_unique<TSignalIIRFilter12pole>();
  if (poles == 20) f = std::make_unique<TSignalIIRFilter20pole>();
  f->SetSampleRate(kRate);
  return f;
}

TEST(IIRFilters, ResponsesAtDcAndAcrossTheBand) {
  const double half = std::sqrt(0.5);
  // Poles, frequency (0: DC), gain, tolerance.
  const double cases[][4] = {{6, 0, 1, 1e-4},
                             {6, 0.005 * kRate, 1, 0.005},
                             {6, 0.081 * kRate, half, 0.05},
                             {6, 0.3 * kRate, 0, 0.005},
                             {12, 0, 0, 1e-4},
                             {12, 2400, 1, 0.1},
                             {12, 0.109 * kRate, half, 0.1},
                             {12, 0.326 * kRate, half, 0.1},
                             {12, 300, 0, 0.01},
                             {12, 5200, 0, 0.05},
                             {20, 0, 0, 1e-4},
                             {20, 2400, 0.85, 0.15},
                             {20, 1800, 0.95, 0.1},
                             {20, 150, 0, 1e-3},
                             {20, 5000, 0, 1e-3}};
  for (const auto& row : cases) {
    const struct {
      int poles;
      double hz, gain, tol;
    } c{int(row[0]), row[1], row[2], row[3]};
    SCOPED_TRACE(::testing::Message() << c.poles << " poles at " << c.hz << " Hz");
    auto f = Iir(c.poles);
    if (c.hz > 0) {
      EXPECT_NEAR(Gain(*f, c.hz), c.gain, c.tol);
      continue;
    }
    std::vector<TSample> dc(6000, TSample(1.0f, 0.0f));
    f->DataIn(nullptr, dc);
    EXPECT_NEAR(dc.back().real(), c.gain, c.tol);
    EXPECT_EQ(dc.back().real(), dc.back().imag());
  }
}

// A step, a sweep and noise-like content, to exercise the filter memory.
std::vector<TSample> TestSignal(int count) {
  unsigned state = 12345;
  auto s = Signal(count, [&](int i) {
    state = state * 1103515245u + 12345u;
    const double noise = static_cast<double>(state >> 16 & 0x7FFF) / 32768.0 - 0.5;
    return 1000 * std::sin(2 * kPi * (300.0 + 0.5 * i) * i / kRate) + 300 * noise +
           (i > count / 2 ? 500 : 0);
  });
  for (int i = 0; i < count; ++i) s[static_cast<std::size_t>(i)].imag(-7.0f * i);
  return s;
}

template <typename F>
Maker Make(std::function<void(F&)> setup = [](F&) {}) {
  return [setup] {
    auto f = std::make_unique<F>();
    setup(*f);
    return std::unique_ptr<TSignalProcessor>(std::move(f));
  };
}

TEST(FilterMemory, BlocksOfAnyLengthFilterAsOneLongBlock) {
  for (const Maker& make : {Make<TSignalIIRFilter6pole>(), Make<TSignalIIRFilter12pole>(),
                            Make<TSignalIIRFilter20pole>(),
                            Make<TSignal2ChResonator>([](auto& f) { f.SetSampleRate(kRate); }),
                            Make<TSignalFIRFilter>([](auto& f) {
                              f.SetSampleRate(kRate);
                              f.SetTaps(63);
                            }),
                            Make<TSignalFIRQuadFilter>([](auto& f) {
                              f.SetSampleRate(kRate);
                              f.SetFilterType(ftBandPass);
                              f.SetPassFreq(1000);
                              f.SetStopFreq(2000);
                            }),
                            Make<TSignalHilbertAMDetector>([](auto& f) {
                              f.SetSampleRate(kRate);
                              f.SetFilterTaps(47);
                            })}) {
    auto whole = make(), cut = make();
    auto a = TestSignal(9000), b = a;
    whole->DataIn(nullptr, a);
    Feed(*cut, b, {2048, 1024, 1, 777, 3000, 5});
    for (std::size_t i = 0; i < a.size(); ++i) {
      ASSERT_FLOAT_EQ(a[i].real(), b[i].real()) << "sample " << i;
      ASSERT_FLOAT_EQ(a[i].imag(), b[i].imag()) << "sample " << i;
    }
  }
}

TEST(FilterMemory, ASecondFileStartsWithTheFirstFilesMemoryAndTheRateChangesNothing) {
  TSignalIIRFilter12pole used;
  std::vector<TSample> first(100), second(50);
  first[99] = TSample(1000.0f, 0.0f);
  used.SetSampleRate(kRate);
  used.BeginData();
  used.DataIn(nullptr, first);
  used.EndData();
  used.SetSampleRate(44100);
  used.BeginData();
  used.DataIn(nullptr, second);
  EXPECT_GT(std::abs(second[10].real()), 1.0f);  // the impulse still rings

  // A fresh filter at another rate responds exactly as at the first rate.
  TSignalIIRFilter12pole at8000, at48000;
  at8000.SetSampleRate(8000);
  at48000.SetSampleRate(48000);
  auto a = TestSignal(3000), b = a;
  at8000.DataIn(nullptr, a);
  at48000.DataIn(nullptr, b);
  EXPECT_EQ(a, b);
}

// --- Resonator ---------------------------------------------------------------

TEST(Resonator, DesignPeaksAtTheCentreWithUnitGainAndNoPhase) {
  for (auto [f, q, rate] : {std::tuple{2400.0, 36.0, 11025.0}, std::tuple{450.0, 50.0, 11025.0},
                            std::tuple{2125.0, 7.0, 44100.0}, std::tuple{2975.0, 7.0, 11025.0}}) {
    SCOPED_TRACE(f);
    const TResonatorDesign d = DesignResonator(f, q, rate);
    auto h = [&](double hz) {
      const std::complex<double> z = std::polar(1.0, 2 * kPi * hz / rate);
      return (z * z - 1.0) / d.gain / (z * z - d.c1 * z - d.c0);
    };
    EXPECT_NEAR(h(f).real(), 1.0, 1e-9);
    EXPECT_NEAR(h(f).imag(), 0.0, 1e-9);
    // Below and above the centre the gain falls; the -3 dB width is about f / q.
    EXPECT_LT(std::abs(h(f * 0.97)), 1.0);
    EXPECT_LT(std::abs(h(f * 1.03)), 1.0);
    EXPECT_NEAR(std::abs(h(f - f / q / 2)), std::sqrt(0.5), 0.08);
    EXPECT_NEAR(std::abs(h(f + f / q / 2)), std::sqrt(0.5), 0.08);
    // Poles inside the unit circle: the filter is stable.
    EXPECT_GT(d.c0, -1.0);
    EXPECT_LT(d.c0, 0.0);
  }
}

TEST(Resonator, ImpossibleDesignsPassSilence) {
  for (auto [f, q, rate] : {std::tuple{2400.0, 36.0, 0.0}, std::tuple{0.0, 7.0, 11025.0},
                            std::tuple{6000.0, 7.0, 11025.0}, std::tuple{2400.0, 0.0, 11025.0}}) {
    const TResonatorDesign d = DesignResonator(f, q, rate);
    TResonatorState s;
    for (int i = 0; i < 10; ++i) EXPECT_EQ(s.Step(d, 1000.0 * (i % 3)), 0.0);
  }
}

TEST(TwoChannelResonator, EachChannelPicksItsOwnTone) {
  TSignal2ChResonator r;
  r.SetSampleRate(kRate);  // default tones 2125 Hz left, 2975 Hz right
  EXPECT_NEAR(Gain(r, 2125), 1.0, 0.01);
  EXPECT_NEAR(Gain(r, 2975, true), 1.0, 0.01);
  EXPECT_LT(Gain(r, 2975), 0.4);
  EXPECT_LT(Gain(r, 2125, true), 0.4);
  r.SetLeftFrequency(1000);
  r.SetLeftQfactor(20);
  r.SetRightFrequency(1200);
  r.SetRightQfactor(20);
  EXPECT_NEAR(Gain(r, 1000), 1.0, 0.01);
  EXPECT_LT(Gain(r, 1200), 0.3);
  EXPECT_NEAR(Gain(r, 1200, true), 1.0, 0.01);
}

// --- FIR filters -----------------------------------------------------------------

TEST(FIRFilter, OutOfRangePropertiesAreBroughtIntoRange) {
  TSignalFIRFilter f;
  for (auto [asked, taps] : {std::pair{64, 65}, {200, 127}, {0, 1}, {-6, 1}}) {
    f.SetTaps(asked);
    EXPECT_EQ(f.Taps(), taps) << asked;
  }
  f.SetSampleRate(kRate);
  f.SetPassFreq(0);
  EXPECT_EQ(f.PassFreq(), 2756);
  f.SetPassFreq(9000);
  EXPECT_EQ(f.PassFreq(), 5512);
  f.SetPassFreq(2000);
  f.SetFilterType(ftBandPass);
  f.SetStopFreq(1500);
  EXPECT_EQ(f.StopFreq(), 2001);
}

TEST(FIRFilter, HalfBandLowPassHasTheSincTaps) {
  TSignalFIRFilter f;
  f.SetSampleRate(8000);
  f.SetPassFreq(2000);
  f.SetTaps(21);
  const auto& h = f.TapSet1();
  EXPECT_FLOAT_EQ(h[10], 0.5f);
  for (int i = 1; i <= 10; ++i) {
    EXPECT_NEAR(h[10 + i], i % 2 == 0 ? 0.0 : std::sin(kPi * i / 2) / (kPi * i), 1e-7) << i;
    EXPECT_EQ(h[10 + i], h[10 - i]);
  }
  EXPECT_EQ(h[21], 0.0f);
  EXPECT_EQ(f.TapSet2(), f.TapSet1());
  // A Hamming window weights the end taps by 0.08 and the centre by 1.
  f.SetWindowFunction(wfHamming);
  EXPECT_FLOAT_EQ(h[10], 0.5f);
  EXPECT_NEAR(h[1], 1 / (9 * kPi) * (0.54 - 0.46 * std::cos(2 * kPi / 20)), 1e-6);
  EXPECT_NEAR(h[0], 0.0f, 1e-9);  // distance 10 is even: the sinc is zero there
  // A redesign replaces taps a user changed, whatever the count.
  f.TapSet1()[10] = 9.0f;
  f.SetTaps(21);
  EXPECT_FLOAT_EQ(f.TapSet1()[10], 0.5f);
}

TEST(FIRFilter, ResponsesOfTheThreeTypes) {
  struct Case {
    FilterTypes type;
    int pass, stop;
    double hz, gain, tol;
  };
  for (const Case& c : {Case{ftLowPass, 1000, 0, 300, 1, 0.01},
                        {ftLowPass, 1000, 0, 1600, 0, 0.01},
                        {ftHighPass, 1000, 0, 300, 0, 0.01},
                        {ftHighPass, 1000, 0, 3000, 1, 0.01},
                        {ftBandPass, 1500, 3000, 700, 0, 0.01},
                        {ftBandPass, 1500, 3000, 2250, 1, 0.01},
                        {ftBandPass, 1500, 3000, 4000, 0, 0.01}}) {
    TSignalFIRFilter f;
    f.SetSampleRate(kRate);
    f.SetWindowFunction(wfHamming);
    f.SetTaps(101);
    f.SetFilterType(c.type);
    f.SetPassFreq(c.pass);
    f.SetStopFreq(c.stop);
    EXPECT_NEAR(Gain(f, c.hz), c.gain, c.tol) << "type " << int(c.type) << " at " << c.hz;
    // The output is real; the block's imaginary input is ignored.
    std::vector<TSample> s(64, TSample(1.0f, 99.0f));
    f.DataIn(nullptr, s);
    for (const auto& x : s) ASSERT_EQ(x.imag(), 0.0f);
  }
}

}  // namespace
}  // namespace vivurozed
