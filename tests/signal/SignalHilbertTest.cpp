#include "signal/SignalHilbert.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>

#include "SignalTestUtil.h"

namespace vivurozed {
namespace {

using namespace signaltest;

// Mean envelope of a unit tone after the filter has settled.
double EnvelopeGain(TSignalProcessor& d, double hz) {
  auto s = Sine(hz, kRate / 2);
  d.DataIn(nullptr, s);
  double sum = 0;
  for (std::size_t i = 1000; i < s.size(); ++i) sum += s[i].real();
  EXPECT_EQ(s.back().real(), s.back().imag());  // the envelope in both parts
  return sum / static_cast<double>(s.size() - 1000);
}

TEST(HilbertBPF, PassesTheCarrierPlusOrMinusTheBandwidth) {
  TSignalHilbertAMDetector d;
  d.SetSampleRate(kRate);
  d.SetBandwidth(1250);
  ASSERT_EQ(d.Filter().Taps(), 31);
  // The band edges are the prototype's cut-off: half amplitude.
  for (auto [carrier, hz, gain, tol] : {std::tuple{2400, 2400.0, 1.0, 0.02},
                                        {2400, 2000.0, 1.0, 0.05},
                                        {2400, 2900.0, 1.0, 0.05},
                                        {2400, 1150.0, 0.5, 0.06},
                                        {2400, 3650.0, 0.5, 0.06},
                                        {2400, 300.0, 0.0, 0.01},
                                        {2400, 5100.0, 0.0, 0.05},
                                        {1500, 1500.0, 1.0, 0.02},
                                        {1500, 4200.0, 0.0, 0.01}}) {
    d.SetCarrierFrequency(carrier);
    EXPECT_NEAR(EnvelopeGain(d, hz), gain, tol) << carrier << " carrier, " << hz << " Hz";
  }
}

TEST(HilbertBPF, BranchTwoIsInQuadratureWithBranchOne) {
  TSignalHilbertBPF bpf;
  bpf.SetSampleRate(kRate);
  auto s = Sine(2600, 4000, 1000);
  bpf.DataIn(nullptr, s);
  // After the filter's delay of 15 samples: I = 1000 sin, Q = -1000 cos.
  for (std::size_t i = 1000; i < 1100; ++i) {
    const double phase = 2 * kPi * 2600 * (double(i) - 15) / kRate;
    EXPECT_NEAR(s[i].real(), 1000 * std::sin(phase), 15) << i;
    EXPECT_NEAR(s[i].imag(), -1000 * std::cos(phase), 15) << i;
  }
}

TEST(HilbertAMDetectorQ, RecoversAnAmEnvelopeWithinOnePercent) {
  auto envelope = [](double t) {
    return 10000 + 4000 * std::sin(2 * kPi * 40 * t) + 1000 * std::sin(2 * kPi * 310 * t);
  };
  for (int taps : {31, 47}) {
    TSignalHilbertAMDetectorQ d;
    d.SetSampleRate(kRate);
    d.SetFilterTaps(taps);
    auto s = Signal(3 * 8192, [&](int i) {
      return envelope(double(i) / kRate) * std::sin(2 * kPi * 2400 * i / kRate);
    });
    const auto input = s;
    Feed(d, s, {8192});
    // The envelope in the real part, the delayed in-phase signal in the other.
    double worst = 0, worstInPhase = 0;
    for (std::size_t i = 2 * static_cast<std::size_t>(taps); i < s.size(); ++i) {
      const double truth = envelope((double(i) - taps / 2) / kRate);
      worst = std::max(worst, std::abs(s[i].real() - truth) / truth);
      worstInPhase = std::max(
          worstInPhase, std::abs(s[i].imag() - input[i - std::size_t(taps / 2)].real()) / truth);
    }
    EXPECT_LT(worst, 0.01) << taps << " taps";
    EXPECT_LT(worstInPhase, 0.02) << taps << " taps";
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

TEST(HilbertSyncAMDetector, ResamplesTheCarrierAtFourTimesItsFrequency) {
  // The second is a recording played 1 % fast: the output rate follows the
  // carrier.
  for (auto [hz, q, amplitude] : {std::tuple{2400.0, 0.0, 2000.0}, {2424.0, 20.0, 1000.0}}) {
    TSignalHilbertSyncAMDetector d;
    d.SetSampleRate(kRate);
    d.SetCarrierFrequency(2400);  // the played-fast one is followed from here
    if (q > 0) d.SetResonatorQ(q);
    auto s = Sine(hz, 5 * 8192, amplitude);
    int total = 0;
    for (int b = 0; b < 5; ++b) {
      std::vector<TSample> block(s.begin() + b * 8192, s.begin() + (b + 1) * 8192);
      d.DataIn(nullptr, block);
      EXPECT_EQ(MarkerText(block), "DATASTREAM ");
      const TSample countSample = block[8192 - 12];
      const int k = static_cast<int>(countSample.real());
      EXPECT_EQ(countSample.imag(), -countSample.real());
      EXPECT_NEAR(k, 8192 * 4 * hz / kRate, 3) << hz << " block " << b;
      for (int i = 0; i < 8192 - 12; ++i) {
        const TSample x = block[static_cast<std::size_t>(i)];
        if (i >= k) {
          ASSERT_EQ(x, TSample(0, 0)) << b << " " << i;
        } else if (b > 0) {
          ASSERT_NEAR(x.real(), amplitude, 0.015 * amplitude) << hz << " " << b << " " << i;
          ASSERT_EQ(x.imag(), 0.0f);
        }
      }
      if (b > 0) total += k;
    }
    EXPECT_NEAR(total, 4 * 8192 * 4 * hz / kRate, 4) << hz;
  }
}

TEST(HilbertSyncAMDetector, ShortBlocksStayInsideTheBlock) {
  TSignalHilbertSyncAMDetector d;
  d.SetSampleRate(kRate);
  auto s = Sine(2400, 12, 1000);
  d.DataIn(nullptr, s);
  EXPECT_EQ(MarkerText(s), "DATASTREAM ");
  EXPECT_EQ(s[0], TSample(0, 0));  // no room for samples: the count is 0
  auto tiny = Sine(2400, 5, 1000);
  d.DataIn(nullptr, tiny);  // too short for the marker: no marker, no overrun
  for (const auto& x : tiny) EXPECT_EQ(x.imag(), 0.0f);
}

// --- Frequency meter ---------------------------------------------------------------

TEST(HilbertFreqMeter, MeasuresAToneWithinHalfAHertz) {
  TSignalHilbertFreqMeter m;
  m.SetSampleRate(kRate);
  auto s = Sine(2410, 2 * 8192, 1000);
  Feed(m, s, {8192});
  EXPECT_NEAR(m.MeasuredFrequency(), 2410, 0.5);
  // The block passes on as (I, Q), the unit phasor of the tone.
  EXPECT_NEAR(std::abs(s[9000]), 1000, 15);

  // A new rate or carrier restarts the measurement.
  m.SetSampleRate(kRate);
  EXPECT_EQ(m.MeasuredFrequency(), 0.0);
  auto low = Sine(2200.5, 2 * 8192, 1000);
  Feed(m, low, {8192});
  EXPECT_NEAR(m.MeasuredFrequency(), 2200.5, 0.5);
  m.SetCarrierFrequency(2000);
  EXPECT_EQ(m.MeasuredFrequency(), 0.0);
}

}  // namespace
}  // namespace vivurozed
