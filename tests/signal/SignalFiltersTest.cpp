#include "signal/SignalFilters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>
#include <numbers>
#include <tuple>
#include <vector>

namespace vivurozed {
namespace {

constexpr double kPi = std::numbers::pi;

std::vector<TSample> Tone(double hz, int rate, int count, double amplitude = 1.0) {
  std::vector<TSample> s(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    s[static_cast<std::size_t>(i)] =
        TSample(static_cast<float>(amplitude * std::sin(2 * kPi * hz * i / rate)), 0.0f);
  }
  return s;
}

// Feeds the signal in blocks of the given lengths, cycling through them.
void Feed(TSignalProcessor& p, std::vector<TSample>& s, const std::vector<int>& blocks) {
  std::size_t at = 0;
  for (std::size_t b = 0; at < s.size(); ++b) {
    const auto n =
        std::min<std::size_t>(static_cast<std::size_t>(blocks[b % blocks.size()]), s.size() - at);
    p.DataIn(nullptr, SampleBlock(s.data() + at, n));
    at += n;
  }
}

double Rms(const std::vector<TSample>& s, std::size_t from, bool imag = false) {
  double sum = 0;
  for (std::size_t i = from; i < s.size(); ++i) {
    const double v = imag ? s[i].imag() : s[i].real();
    sum += v * v;
  }
  return std::sqrt(sum / static_cast<double>(s.size() - from));
}

// Steady-state gain for a sine at hz (the second half of four seconds).
double Gain(TSignalProcessor& p, double hz, int rate = 11025, bool imag = false) {
  auto s = Tone(hz, rate, 4 * rate);
  Feed(p, s, {8192});
  return Rms(s, s.size() / 2, imag) * std::sqrt(2.0);
}

template <typename F>
double GainOfNew(double hz, int rate = 11025, bool imag = false) {
  F f;
  f.SetSampleRate(rate);
  return Gain(f, hz, rate, imag);
}

TEST(IIRFilter6pole, LowPassSettlesAtOneOnDcAndCutsAtAboutAFraction081OfTheRate) {
  TSignalIIRFilter6pole f;
  std::vector<TSample> dc(4000, TSample(1.0f, 0.0f));
  f.DataIn(nullptr, dc);
  EXPECT_NEAR(dc.back().real(), 1.0, 1e-4);
  EXPECT_EQ(dc.back().real(), dc.back().imag());
  EXPECT_NEAR(GainOfNew<TSignalIIRFilter6pole>(0.005 * 11025), 1.0, 0.005);
  EXPECT_NEAR(GainOfNew<TSignalIIRFilter6pole>(0.081 * 11025), std::sqrt(0.5), 0.05);
  EXPECT_LT(GainOfNew<TSignalIIRFilter6pole>(0.3 * 11025), 0.005);
}

TEST(IIRFilter12pole, BandPassPassesTheSubcarrierAndRejectsDc) {
  TSignalIIRFilter12pole f;
  std::vector<TSample> dc(4000, TSample(1.0f, 0.0f));
  f.DataIn(nullptr, dc);
  EXPECT_NEAR(dc.back().real(), 0.0, 1e-4);
  EXPECT_NEAR(GainOfNew<TSignalIIRFilter12pole>(2400), 1.0, 0.1);
  EXPECT_NEAR(GainOfNew<TSignalIIRFilter12pole>(0.109 * 11025), std::sqrt(0.5), 0.1);
  EXPECT_NEAR(GainOfNew<TSignalIIRFilter12pole>(0.326 * 11025), std::sqrt(0.5), 0.1);
  EXPECT_LT(GainOfNew<TSignalIIRFilter12pole>(300), 0.01);
  EXPECT_LT(GainOfNew<TSignalIIRFilter12pole>(5200), 0.05);
}

TEST(IIRFilter20pole, BandPassAroundTheSubcarrierRejectsDcAndItsImpulseResponseDiesAway) {
  EXPECT_NEAR(GainOfNew<TSignalIIRFilter20pole>(2400), 0.85, 0.15);
  EXPECT_NEAR(GainOfNew<TSignalIIRFilter20pole>(1800), 0.95, 0.1);
  EXPECT_LT(GainOfNew<TSignalIIRFilter20pole>(150), 1e-3);
  EXPECT_LT(GainOfNew<TSignalIIRFilter20pole>(5000), 1e-3);
  TSignalIIRFilter20pole f;
  std::vector<TSample> dc(6000, TSample(1.0f, 0.0f));
  f.DataIn(nullptr, dc);
  EXPECT_NEAR(dc.back().real(), 0.0, 1e-4);
  TSignalIIRFilter20pole g;
  std::vector<TSample> impulse(20000);
  impulse[0] = TSample(1000.0f, 0.0f);
  g.DataIn(nullptr, impulse);
  double early = 0, late = 0;
  for (std::size_t i = 0; i < 200; ++i)
    early = std::max(early, double(std::abs(impulse[i].real())));
  for (std::size_t i = 19000; i < 20000; ++i)
    late = std::max(late, double(std::abs(impulse[i].real())));
  EXPECT_GT(early, 1.0);
  EXPECT_LT(late, 1e-6);
}

// A signal with a step, a sweep and noise-like content, to exercise memory.
std::vector<TSample> TestSignal(int count) {
  std::vector<TSample> s(static_cast<std::size_t>(count));
  unsigned state = 12345;
  for (int i = 0; i < count; ++i) {
    state = state * 1103515245u + 12345u;
    const double noise = static_cast<double>(state >> 16 & 0x7FFF) / 32768.0 - 0.5;
    const double sweep = std::sin(2 * kPi * (300.0 + 0.5 * i) * i / 11025);
    s[static_cast<std::size_t>(i)] =
        TSample(static_cast<float>(1000 * sweep + 300 * noise + (i > count / 2 ? 500 : 0)),
                static_cast<float>(-7 * i));
  }
  return s;
}

// Filters the same signal as one block and as blocks of varying length.
template <typename F, typename Setup>
void ExpectBlockLengthsDoNotMatter(Setup setup) {
  F whole, cut;
  setup(whole);
  setup(cut);
  auto a = TestSignal(9000);
  auto b = a;
  whole.DataIn(nullptr, a);
  Feed(cut, b, {2048, 1024, 1, 777, 3000, 5});
  for (std::size_t i = 0; i < a.size(); ++i) {
    ASSERT_FLOAT_EQ(a[i].real(), b[i].real()) << "sample " << i;
    ASSERT_FLOAT_EQ(a[i].imag(), b[i].imag()) << "sample " << i;
  }
}

TEST(FilterMemory, BlocksOfAnyLengthFilterAsOneLongBlock) {
  auto none = [](auto&) {};
  ExpectBlockLengthsDoNotMatter<TSignalIIRFilter6pole>(none);
  ExpectBlockLengthsDoNotMatter<TSignalIIRFilter12pole>(none);
  ExpectBlockLengthsDoNotMatter<TSignalIIRFilter20pole>(none);
  ExpectBlockLengthsDoNotMatter<TSignal2ChResonator>([](auto& f) { f.SetSampleRate(11025); });
  ExpectBlockLengthsDoNotMatter<TSignalFIRFilter>([](auto& f) {
    f.SetSampleRate(11025);
    f.SetTaps(63);
  });
  ExpectBlockLengthsDoNotMatter<TSignalFIRQuadFilter>([](auto& f) {
    f.SetSampleRate(11025);
    f.SetFilterType(ftBandPass);
    f.SetPassFreq(1000);
    f.SetStopFreq(2000);
  });
}

TEST(FilterMemory, ASecondFileStartsWithTheFirstFilesMemoryAndTheRateChangesNothing) {
  TSignalIIRFilter12pole used;
  std::vector<TSample> first(100, TSample(0.0f, 0.0f));
  first[99] = TSample(1000.0f, 0.0f);
  used.SetSampleRate(11025);
  used.BeginData();
  used.DataIn(nullptr, first);
  used.EndData();
  used.SetSampleRate(44100);
  used.BeginData();
  std::vector<TSample> second(50, TSample(0.0f, 0.0f));
  used.DataIn(nullptr, second);
  EXPECT_GT(std::abs(second[10].real()), 1.0f);  // the impulse still rings

  // A fresh filter at another rate responds exactly as at the first rate.
  TSignalIIRFilter12pole at8000, at48000;
  at8000.SetSampleRate(8000);
  at48000.SetSampleRate(48000);
  auto a = TestSignal(3000);
  auto b = a;
  at8000.DataIn(nullptr, a);
  at48000.DataIn(nullptr, b);
  EXPECT_EQ(a, b);
}

// --- Resonator ---------------------------------------------------------------

std::complex<double> ResonatorResponse(const TResonatorDesign& d, double hz, double rate) {
  const std::complex<double> z = std::polar(1.0, 2 * kPi * hz / rate);
  return (z * z - 1.0) / d.gain / (z * z - d.c1 * z - d.c0);
}

TEST(Resonator, DesignPeaksAtTheCentreWithUnitGainAndNoPhase) {
  for (auto [f, q, rate] : {std::tuple{2400.0, 36.0, 11025.0}, std::tuple{450.0, 50.0, 11025.0},
                            std::tuple{2125.0, 7.0, 44100.0}, std::tuple{2975.0, 7.0, 11025.0}}) {
    const TResonatorDesign d = DesignResonator(f, q, rate);
    const auto h = ResonatorResponse(d, f, rate);
    EXPECT_NEAR(h.real(), 1.0, 1e-9) << f;
    EXPECT_NEAR(h.imag(), 0.0, 1e-9) << f;
    // Below and above the centre the gain falls; the -3 dB width is about f / q.
    EXPECT_LT(std::abs(ResonatorResponse(d, f * 0.97, rate)), 1.0);
    EXPECT_LT(std::abs(ResonatorResponse(d, f * 1.03, rate)), 1.0);
    const double half = f / q / 2;
    EXPECT_NEAR(std::abs(ResonatorResponse(d, f - half, rate)), std::sqrt(0.5), 0.08) << f;
    EXPECT_NEAR(std::abs(ResonatorResponse(d, f + half, rate)), std::sqrt(0.5), 0.08) << f;
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
  EXPECT_EQ(r.LeftFrequency(), 2125);
  EXPECT_EQ(r.RightFrequency(), 2975);
  EXPECT_EQ(r.LeftQfactor(), 7);
  EXPECT_EQ(r.RightQfactor(), 7);
  EXPECT_EQ(r.SampleRate(), 44100);
  r.SetSampleRate(11025);
  EXPECT_NEAR(Gain(r, 2125), 1.0, 0.01);
  r.SetSampleRate(11025);
  EXPECT_NEAR(Gain(r, 2975, 11025, true), 1.0, 0.01);
  EXPECT_LT(Gain(r, 2975), 0.4);
  EXPECT_LT(Gain(r, 2125, 11025, true), 0.4);
  r.SetLeftFrequency(1000);
  r.SetLeftQfactor(20);
  EXPECT_NEAR(Gain(r, 1000), 1.0, 0.01);
  EXPECT_LT(Gain(r, 1200), 0.3);
  r.SetRightFrequency(1200);
  r.SetRightQfactor(20);
  EXPECT_NEAR(Gain(r, 1200, 11025, true), 1.0, 0.01);
}

// --- FIR filters -----------------------------------------------------------------

TEST(FIRFilter, PropertyRules) {
  TSignalFIRFilter f;
  EXPECT_EQ(f.SampleRate(), 44100);
  EXPECT_EQ(f.FilterType(), ftLowPass);
  EXPECT_EQ(f.PassFreq(), 3000);
  EXPECT_EQ(f.StopFreq(), 10000);
  EXPECT_EQ(f.Taps(), 31);
  EXPECT_EQ(f.WindowFunction(), wfRectangular);
  f.SetTaps(64);
  EXPECT_EQ(f.Taps(), 65);
  f.SetTaps(200);
  EXPECT_EQ(f.Taps(), 127);
  f.SetTaps(0);
  EXPECT_EQ(f.Taps(), 1);
  f.SetTaps(-6);
  EXPECT_EQ(f.Taps(), 1);
  f.SetSampleRate(11025);
  f.SetPassFreq(0);
  EXPECT_EQ(f.PassFreq(), 2756);
  f.SetPassFreq(9000);
  EXPECT_EQ(f.PassFreq(), 5512);
  f.SetPassFreq(2000);
  f.SetFilterType(ftBandPass);
  f.SetStopFreq(1500);
  EXPECT_EQ(f.StopFreq(), 2001);
  f.SetWindowFunction(wfHann);
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
    const float expected =
        i % 2 == 0 ? 0.0f : static_cast<float>(std::sin(kPi * i / 2) / (kPi * i));
    EXPECT_NEAR(h[10 + i], expected, 1e-7) << i;
    EXPECT_EQ(h[10 + i], h[10 - i]);
  }
  EXPECT_EQ(h[21], 0.0f);
  EXPECT_EQ(f.TapSet2(), f.TapSet1());
  // A Hamming window weights the end taps by 0.08 and the centre by 1.
  f.SetWindowFunction(wfHamming);
  EXPECT_FLOAT_EQ(h[10], 0.5f);
  EXPECT_NEAR(h[1], 1 / (9 * kPi) * (0.54 - 0.46 * std::cos(2 * kPi / 20)), 1e-6);
  EXPECT_NEAR(h[0], 0.0f, 1e-9);  // distance 10 is even: the sinc is zero there
}

TEST(FIRFilter, ResponsesOfTheThreeTypes) {
  auto make = [](FilterTypes t, int pass, int stop) {
    auto f = std::make_unique<TSignalFIRFilter>();
    f->SetSampleRate(11025);
    f->SetWindowFunction(wfHamming);
    f->SetTaps(101);
    f->SetFilterType(t);
    f->SetPassFreq(pass);
    f->SetStopFreq(stop);
    return f;
  };
  auto low = make(ftLowPass, 1000, 0);
  EXPECT_NEAR(Gain(*low, 300), 1.0, 0.01);
  EXPECT_LT(Gain(*low, 1600), 0.01);
  auto high = make(ftHighPass, 1000, 0);
  EXPECT_LT(Gain(*high, 300), 0.01);
  EXPECT_NEAR(Gain(*high, 3000), 1.0, 0.01);
  auto band = make(ftBandPass, 1500, 3000);
  EXPECT_LT(Gain(*band, 700), 0.01);
  EXPECT_NEAR(Gain(*band, 2250), 1.0, 0.01);
  EXPECT_LT(Gain(*band, 4000), 0.01);
  // The output is real; the block's imaginary input is ignored.
  std::vector<TSample> s(64, TSample(1.0f, 99.0f));
  band->DataIn(nullptr, s);
  for (const auto& x : s) EXPECT_EQ(x.imag(), 0.0f);
}

TEST(FIRFilter, ReloadTapsRestartsFromUserTaps) {
  TSignalFIRQuadFilter f;
  f.SetTaps(5);
  auto& a = f.TapSet1();
  auto& b = f.TapSet2();
  std::fill(a.begin(), a.end(), 0.0f);
  std::fill(b.begin(), b.end(), 0.0f);
  a[0] = 2.0f;  // gain 2, no delay
  b[4] = 1.0f;  // a delay of four samples
  f.ReloadTaps();
  std::vector<TSample> s;
  for (int i = 1; i <= 8; ++i) s.emplace_back(static_cast<float>(i), -1.0f);
  f.DataIn(nullptr, s);
  const std::vector<TSample> expected = {{2, 0},  {4, 0},  {6, 0},  {8, 0},
                                         {10, 1}, {12, 2}, {14, 3}, {16, 4}};
  EXPECT_EQ(s, expected);
  // A redesign replaces the user's taps.
  f.SetTaps(5);
  EXPECT_NE(f.TapSet1()[0], 2.0f);
}

TEST(FIRFilter, ShorterBlockKeepsTheFilterMemory) {
  TSignalFIRFilter f;
  f.SetTaps(3);
  auto& h = f.TapSet1();
  h[0] = 0.0f;
  h[1] = 0.0f;
  h[2] = 1.0f;  // a two-sample delay
  f.ReloadTaps();
  std::vector<TSample> big(2048, TSample(0.0f, 0.0f));
  big[2046] = TSample(5.0f, 0.0f);
  big[2047] = TSample(6.0f, 0.0f);
  f.DataIn(nullptr, big);
  std::vector<TSample> small(1024, TSample(0.0f, 0.0f));
  f.DataIn(nullptr, small);
  EXPECT_EQ(small[0].real(), 5.0f);
  EXPECT_EQ(small[1].real(), 6.0f);
  EXPECT_EQ(small[2].real(), 0.0f);
}

}  // namespace
}  // namespace vivurozed
