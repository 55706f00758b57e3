#include "signal/SignalHilbert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

namespace vivurozed {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kRate = 11025;

std::vector<TSample> Signal(int count, const std::function<double(double t)>& f) {
  std::vector<TSample> s(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    s[static_cast<std::size_t>(i)] = TSample(static_cast<float>(f(double(i) / kRate)), 0.0f);
  }
  return s;
}

std::vector<TSample> Tone(double hz, int count, double amplitude = 1000.0) {
  return Signal(count, [=](double t) { return amplitude * std::sin(2 * kPi * hz * t); });
}

void Feed(TSignalProcessor& p, std::vector<TSample>& s, const std::vector<int>& blocks) {
  std::size_t at = 0;
  for (std::size_t b = 0; at < s.size(); ++b) {
    const auto n =
        std::min<std::size_t>(static_cast<std::size_t>(blocks[b % blocks.size()]), s.size() - at);
    p.DataIn(nullptr, SampleBlock(s.data() + at, n));
    at += n;
  }
}

// Mean envelope of a tone after the filter has settled.
template <typename D>
double EnvelopeGain(D& d, double hz) {
  auto s = Tone(hz, kRate / 2, 1.0);
  d.DataIn(nullptr, s);
  double sum = 0;
  for (std::size_t i = 1000; i < s.size(); ++i) sum += s[i].real();
  return sum / static_cast<double>(s.size() - 1000);
}

TEST(HilbertBPF, DefaultsAndTapRules) {
  TSignalHilbertBPF bpf;
  EXPECT_EQ(bpf.CarrierFrequency(), 2400);
  EXPECT_EQ(bpf.Bandwidth(), 1100);
  EXPECT_EQ(bpf.FilterTaps(), 31);
  EXPECT_EQ(bpf.WindowFunction(), wfBlackmanOpt);
  EXPECT_EQ(bpf.Filter().PassFreq(), 1100);
  bpf.SetFilterTaps(48);
  EXPECT_EQ(bpf.Filter().Taps(), 49);
  bpf.SetFilterTaps(300);
  EXPECT_EQ(bpf.Filter().Taps(), 127);
  bpf.SetSampleRate(kRate);
  bpf.SetBandwidth(1250);
  EXPECT_EQ(bpf.Filter().PassFreq(), 1250);
  EXPECT_EQ(bpf.Filter().StopFreq(), kRate / 4);
  EXPECT_EQ(bpf.Filter().SampleRate(), kRate);
}

TEST(HilbertBPF, PassesTheCarrierPlusOrMinusTheBandwidth) {
  TSignalHilbertAMDetector d;
  d.SetSampleRate(kRate);
  d.SetBandwidth(1250);
  ASSERT_EQ(d.Filter().Taps(), 31);
  EXPECT_NEAR(EnvelopeGain(d, 2400), 1.0, 0.02);
  EXPECT_NEAR(EnvelopeGain(d, 2000), 1.0, 0.05);
  EXPECT_NEAR(EnvelopeGain(d, 2900), 1.0, 0.05);
  // The band edges are the prototype's cut-off: half amplitude.
  EXPECT_NEAR(EnvelopeGain(d, 1150), 0.5, 0.06);
  EXPECT_NEAR(EnvelopeGain(d, 3650), 0.5, 0.06);
  EXPECT_LT(EnvelopeGain(d, 300), 0.01);
  EXPECT_LT(EnvelopeGain(d, 5100), 0.05);

  // Another carrier moves the pass band with it.
  d.SetCarrierFrequency(1500);
  EXPECT_NEAR(EnvelopeGain(d, 1500), 1.0, 0.02);
  EXPECT_LT(EnvelopeGain(d, 4200), 0.01);
}

TEST(HilbertBPF, BranchTwoIsInQuadratureWithBranchOne) {
  TSignalHilbertBPF bpf;
  bpf.SetSampleRate(kRate);
  auto s = Tone(2600, 4000);  // 1000 sin(w t)
  bpf.DataIn(nullptr, s);
  // After the filter's delay of 15 samples: I = 1000 sin, Q = -1000 cos.
  for (std::size_t i = 1000; i < 1100; ++i) {
    const double phase = 2 * kPi * 2600 * (double(i) - 15) / kRate;
    EXPECT_NEAR(s[i].real(), 1000 * std::sin(phase), 15) << i;
    EXPECT_NEAR(s[i].imag(), -1000 * std::cos(phase), 15) << i;
  }
}

TEST(HilbertAMDetectorQ, PureCarrierGivesItsAmplitudeAndTheInPhaseSignal) {
  TSignalHilbertAMDetectorQ d;
  d.SetSampleRate(kRate);
  auto s = Tone(2400, 8192);
  d.DataIn(nullptr, s);
  for (std::size_t i = 200; i < s.size(); i += 37) {
    EXPECT_NEAR(s[i].real(), 1000, 10) << i;
    const double phase = 2 * kPi * 2400 * (double(i) - 15) / kRate;
    EXPECT_NEAR(s[i].imag(), 1000 * std::sin(phase), 15) << i;
  }
}

TEST(HilbertAMDetectorQ, RecoversAnAmEnvelopeWithinOnePercent) {
  for (int taps : {31, 47}) {
    TSignalHilbertAMDetectorQ d;
    d.SetSampleRate(kRate);
    d.SetFilterTaps(taps);
    auto envelope = [](double t) {
      return 10000 + 4000 * std::sin(2 * kPi * 40 * t) + 1000 * std::sin(2 * kPi * 310 * t);
    };
    auto s = Signal(3 * 8192, [&](double t) { return envelope(t) * std::sin(2 * kPi * 2400 * t); });
    Feed(d, s, {8192});
    const double delay = taps / 2;
    double worst = 0;
    for (std::size_t i = 2 * static_cast<std::size_t>(taps); i < s.size(); ++i) {
      const double truth = envelope((double(i) - delay) / kRate);
      worst = std::max(worst, std::abs(s[i].real() - truth) / truth);
    }
    EXPECT_LT(worst, 0.01) << taps << " taps";
  }
}

TEST(HilbertAMDetector, BlocksOfAnyLengthGiveTheSameEnvelope) {
  auto make = [] {
    auto d = std::make_unique<TSignalHilbertAMDetector>();
    d->SetSampleRate(kRate);
    d->SetFilterTaps(47);
    return d;
  };
  auto whole = make(), cut = make();
  auto a = Signal(10000, [](double t) {
    return (3000 + 2000 * std::sin(2 * kPi * 7 * t)) * std::sin(2 * kPi * 2400 * t);
  });
  auto b = a;
  whole->DataIn(nullptr, a);
  Feed(*cut, b, {8192, 13, 1, 500, 4096});
  for (std::size_t i = 0; i < a.size(); ++i) {
    ASSERT_FLOAT_EQ(a[i].real(), b[i].real()) << i;
    ASSERT_EQ(a[i].real(), a[i].imag()) << i;
  }
}

// --- Sync AM detector -------------------------------------------------------------

std::string MarkerText(const std::vector<TSample>& block) {
  std::string text;
  for (std::size_t j = 0; j < 11; ++j) {
    const TSample x = block[block.size() - 1 - j];
    EXPECT_EQ(x.imag(), -x.real());
    text += static_cast<char>(x.real());
  }
  return text;
}

TEST(HilbertSyncAMDetector, ResamplesACarrierAtFourTimesItsFrequency) {
  TSignalHilbertSyncAMDetector d;
  EXPECT_EQ(d.ResonatorQ(), 36);
  d.SetSampleRate(kRate);
  d.SetCarrierFrequency(2400);
  auto s = Tone(2400, 5 * 8192, 2000);
  int total = 0;
  for (int b = 0; b < 5; ++b) {
    std::vector<TSample> block(s.begin() + b * 8192, s.begin() + (b + 1) * 8192);
    d.DataIn(nullptr, block);
    EXPECT_EQ(MarkerText(block), "DATASTREAM ");
    const TSample countSample = block[8192 - 12];
    const int k = static_cast<int>(countSample.real());
    EXPECT_EQ(countSample.imag(), -countSample.real());
    EXPECT_NEAR(k, 8192 * 9600.0 / kRate, 3) << b;
    for (int i = k; i < 8192 - 12; ++i)
      ASSERT_EQ(block[static_cast<std::size_t>(i)], TSample(0, 0));
    if (b > 0) {
      for (int i = 0; i < k; ++i) {
        ASSERT_NEAR(block[static_cast<std::size_t>(i)].real(), 2000, 30) << b << " " << i;
        ASSERT_EQ(block[static_cast<std::size_t>(i)].imag(), 0.0f);
      }
    }
    total += k;
  }
  EXPECT_NEAR(total, 5 * 8192 * 9600.0 / kRate, 4);
}

TEST(HilbertSyncAMDetector, FollowsACarrierOffByOnePercent) {
  // A recording played 1 % fast: the output rate follows the carrier.
  TSignalHilbertSyncAMDetector d;
  d.SetSampleRate(kRate);
  d.SetResonatorQ(20);
  EXPECT_EQ(d.ResonatorQ(), 20);
  auto s = Tone(2424, 4 * 8192);
  int total = 0;
  for (int b = 0; b < 4; ++b) {
    std::vector<TSample> block(s.begin() + b * 8192, s.begin() + (b + 1) * 8192);
    d.DataIn(nullptr, block);
    if (b > 0) total += static_cast<int>(block[8192 - 12].real());
  }
  EXPECT_NEAR(total, 3 * 8192 * 4 * 2424.0 / kRate, 4);
}

TEST(HilbertSyncAMDetector, ShortBlocksStayInsideTheBlock) {
  TSignalHilbertSyncAMDetector d;
  d.SetSampleRate(kRate);
  auto s = Tone(2400, 12);
  d.DataIn(nullptr, s);
  EXPECT_EQ(MarkerText(s), "DATASTREAM ");
  EXPECT_EQ(s[0], TSample(0, 0));  // no room for samples: the count is 0
  std::vector<TSample> tiny = Tone(2400, 5);
  d.DataIn(nullptr, tiny);  // too short for the marker: no marker, no overrun
  for (const auto& x : tiny) EXPECT_EQ(x.imag(), 0.0f);
}

// --- Frequency meter ---------------------------------------------------------------

TEST(HilbertFreqMeter, MeasuresAToneWithinHalfAHertz) {
  TSignalHilbertFreqMeter m;
  EXPECT_EQ(m.MeasuredFrequency(), 0.0);
  m.SetSampleRate(kRate);
  auto s = Tone(2410, 2 * 8192);
  Feed(m, s, {8192});
  EXPECT_NEAR(m.MeasuredFrequency(), 2410, 0.5);
  // The block passes on as (I, Q), the unit phasor of the tone.
  EXPECT_NEAR(std::abs(s[9000]), 1000, 15);

  // A new rate restarts the measurement.
  m.SetSampleRate(kRate);
  EXPECT_EQ(m.MeasuredFrequency(), 0.0);
  auto low = Tone(2200.5, 2 * 8192);
  Feed(m, low, {8192});
  EXPECT_NEAR(m.MeasuredFrequency(), 2200.5, 0.5);
  m.SetCarrierFrequency(2000);
  EXPECT_EQ(m.MeasuredFrequency(), 0.0);
}

}  // namespace
}  // namespace vivurozed
