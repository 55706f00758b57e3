#include "signal/SignalProcessing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "SignalTestUtil.h"
#include "WavWriter.h"

namespace vivurozed {
namespace {

using signaltest::Collector;

// Doubles every sample, to show processors transform in place down the chain.
class Doubler : public TSignalProcessor {
 protected:
  void Process(SampleBlock b) override {
    for (auto& x : b) x *= 2.0f;
  }
};

std::vector<TSample> ReadStereo(const std::vector<std::int16_t>& interleaved, TChannelSelect c,
                                bool agc = false) {
  TSignalSource source;
  Collector sink;
  source.SetDataSink(&sink);
  source.SetBufferSamples(4);
  source.SetAGC(agc);
  source.SetChannelSelect(c);
  const auto b = testing::BuildWav(interleaved, {.channels = 2});
  std::istringstream in(std::string(b.begin(), b.end()));
  source.WaveIn().ReadStream(in, "t");
  return sink.Samples();
}

TEST(ChannelSelect, MapsLeftAndRightAsChosen) {
  struct Case {
    std::int16_t left, right;
    TChannelSelect select;
    TSample expected;
  };
  for (const Case& c : {Case{101, -7, chSum, {47, 0}},  // (101 - 7) div 2
                        {101, -7, chDiff, {-54, 0}},    // (-7 - 101) div 2
                        {101, -7, chLeft, {101, 0}},
                        {101, -7, chRight, {-7, 0}},
                        {101, -7, chCplx, {101, -7}},
                        {101, -7, chMonoToBoth, {101, 101}},
                        {3, 0, chDiff, {-1, 0}},  // truncates toward zero
                        {500, 500, chDiff, {0, 0}},
                        {-9, -9, chDiff, {0, 0}}}) {
    const std::vector<std::int16_t> lr = {c.left, c.right, c.left, c.right,
                                          c.left, c.right, c.left, c.right};
    EXPECT_EQ(ReadStereo(lr, c.select)[3], c.expected)
        << c.left << ", " << c.right << " select " << int(c.select);
  }
}

TEST(Agc, QuietBlocksGainAtMostTenPercentAndLoudOnesDropAtOnce) {
  std::vector<std::int16_t> s;
  // Peak 500 counts as 1000: the target is 16.384, but the gain starts at 1
  // and rises 10 % a block; 16384 wants a gain of 1 and gets it at once.
  for (std::int16_t v : {500, 500, 16384}) s.insert(s.end(), 8, v);
  const auto out = ReadStereo(s, chLeft, true);
  ASSERT_EQ(out.size(), 12u);
  EXPECT_FLOAT_EQ(out[0].real(), 550.0f);
  EXPECT_FLOAT_EQ(out[4].real(), 500.0f * 1.1f * 1.1f);
  EXPECT_FLOAT_EQ(out[8].real(), 16384.0f);
}

TEST(Chain, BlocksTravelDownInPlaceNeverThroughItselfOrBackToTheSource) {
  Doubler first, self;
  Collector last;
  first.SetDataSink(&last);
  first.SetSampleRate(11025);
  EXPECT_EQ(last.SampleRate(), 11025);
  first.SetTotalSamples(77);
  first.BeginData();
  EXPECT_EQ(last.TotalSamples(), 77);
  std::vector<TSample> block = {TSample(1, 2), TSample(3, 4)};
  first.DataIn(nullptr, block);
  EXPECT_EQ(last.Samples(), (std::vector<TSample>{TSample(2, 4), TSample(6, 8)}));
  EXPECT_EQ(block[0], TSample(2, 4));  // in place

  self.SetDataSink(&self);
  self.SetSampleRate(10);  // notifications do not loop either
  self.BeginData();
  self.DataIn(nullptr, block);
  self.EndData();
  EXPECT_EQ(block[0], TSample(4, 8));  // once, not recursively

  TSignalSource source;
  Collector sink;
  source.SetDataSink(&sink);
  source.DataIn(&source, block);
  EXPECT_TRUE(sink.blocks.empty());
  source.DataIn(nullptr, block);
  EXPECT_EQ(sink.Samples().size(), 2u);
}

TEST(SignalAverage, AveragesPeriods) {
  TSignalAverage avg;
  avg.SetPeriod(4);
  std::vector<TSample> ramp;
  for (int i = 0; i < 8; ++i) ramp.emplace_back(float(i), float(-i));
  avg.DataIn(nullptr, ramp);
  EXPECT_EQ(avg.PassCount(), 2);
  EXPECT_EQ(avg.AverageRe(), (std::vector<float>{2, 3, 4, 5}));
  EXPECT_EQ(avg.AverageIm(), (std::vector<float>{-2, -3, -4, -5}));
  avg.Reset();
  EXPECT_EQ(avg.PassCount(), 0);
  EXPECT_EQ(avg.AverageRe(), (std::vector<float>{0, 0, 0, 0}));
}

TEST(Oscillator, StepsThroughTheSineTableAndKeepsPhase) {
  TSignalOscillator osc;
  osc.SetSampleRate(11025);
  osc.SetFrequency(11025.0f / 4);
  const auto out = osc.Generate(5);
  const std::vector<TSample> quarters = {{1, 0}, {0, -1}, {-1, 0}, {0, 1}, {1, 0}};
  EXPECT_EQ(std::vector<TSample>(out.begin(), out.end()), quarters);
  EXPECT_EQ(osc.Generate(1)[0], quarters[1]);  // the phase runs on across calls
  // Between the quarter points the table holds a phasor of magnitude 0.99995.
  const auto& t = SineTable();
  for (int k : {1, 4096, 8191, 16385, 32767}) {
    EXPECT_NEAR(t[k].real(), 0.99995 * std::cos(2 * M_PI * k / 32768), 1e-6) << k;
    EXPECT_NEAR(t[k].imag(), -0.99995 * std::sin(2 * M_PI * k / 32768), 1e-6) << k;
  }

  TSignalOscillator shifted;
  shifted.SetSampleRate(8000);
  shifted.SetPhase(static_cast<float>(-M_PI / 2) - 4 * static_cast<float>(M_PI));
  EXPECT_NEAR(shifted.Phase(), -M_PI / 2, 1e-5);
  EXPECT_EQ(shifted.Generate(1)[0], quarters[3]);
}

}  // namespace
}  // namespace vivurozed
