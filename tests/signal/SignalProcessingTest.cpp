#include "signal/SignalProcessing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "AptSignal.h"
#include "WavWriter.h"

namespace vivurozed {
namespace {

class Collector : public TSignalProcessor {
 public:
  std::vector<TSample> samples;

 protected:
  void Process(SampleBlock b) override { samples.insert(samples.end(), b.begin(), b.end()); }
};

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
  return sink.samples;
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

TEST(Chain, NotificationsAndBlocksTravelDown) {
  Doubler first;
  Collector last;
  first.SetDataSink(&last);
  first.SetSampleRate(11025);
  EXPECT_EQ(last.SampleRate(), 11025);
  first.SetTotalSamples(77);
  first.BeginData();
  EXPECT_EQ(last.TotalSamples(), 77);
  std::vector<TSample> block = {TSample(1, 2), TSample(3, 4)};
  first.DataIn(nullptr, block);
  EXPECT_EQ(last.samples, (std::vector<TSample>{TSample(2, 4), TSample(6, 8)}));
  EXPECT_EQ(block[0], TSample(2, 4));  // in place
}

TEST(Chain, NoRecursionThroughItselfAndNoEchoToTheSource) {
  Doubler p;
  p.SetDataSink(&p);
  std::vector<TSample> block = {TSample(1, 0)};
  p.SetSampleRate(10);
  p.BeginData();
  p.DataIn(nullptr, block);
  p.EndData();
  EXPECT_EQ(block[0], TSample(2, 0));

  TSignalSource source;
  Collector sink;
  source.SetDataSink(&sink);
  source.DataIn(&source, block);
  EXPECT_TRUE(sink.samples.empty());
  source.DataIn(nullptr, block);
  EXPECT_EQ(sink.samples.size(), 1u);
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

TEST(SineTable, QuarterPointsAndMirrors) {
  const auto& t = SineTable();
  EXPECT_EQ(t[0], TSample(1, 0));
  EXPECT_EQ(t[8192], TSample(0, -1));
  EXPECT_EQ(t[16384], TSample(-1, 0));
  EXPECT_EQ(t[24576], TSample(0, 1));
  for (int k : {1, 100, 4096, 8191}) {
    const TSample e = t[k];
    EXPECT_NEAR(std::abs(e), 0.99995, 1e-6);
    EXPECT_NEAR(e.real(), 0.99995 * std::cos(2 * M_PI * k / 32768), 1e-6);
    EXPECT_EQ(t[16384 - k], TSample(-e.real(), e.imag()));
    EXPECT_EQ(t[16384 + k], TSample(-e.real(), -e.imag()));
    EXPECT_EQ(t[32768 - k], TSample(e.real(), -e.imag()));
  }
}

TEST(Oscillator, QuarterRateStepsThroughTheQuarterPointsAndKeepsPhase) {
  TSignalOscillator osc;
  osc.SetSampleRate(11025);
  osc.SetFrequency(11025.0f / 4);
  const auto& t = SineTable();
  const auto out = osc.Generate(5);
  EXPECT_EQ(std::vector<TSample>(out.begin(), out.end()),
            (std::vector<TSample>{t[0], t[8192], t[16384], t[24576], t[0]}));
  EXPECT_EQ(osc.Generate(1)[0], t[8192]);  // the phase runs on across calls

  TSignalOscillator shifted;
  shifted.SetSampleRate(8000);
  shifted.SetPhase(static_cast<float>(-M_PI / 2) - 4 * static_cast<float>(M_PI));
  EXPECT_NEAR(shifted.Phase(), -M_PI / 2, 1e-5);
  EXPECT_EQ(shifted.Generate(1)[0], t[24576]);
}

TEST(AptSignal, EnvelopeFollowsTheTransmittedWords) {
  testing::AptOptions o;
  o.seconds = 1.0;
  o.startWord = 100;
  const auto s = testing::AptSignal(o);
  ASSERT_EQ(s.size(), 11025u);
  const auto words = testing::AptLineWords(0, o.content);
  // At a carrier peak the sample equals the envelope of the word being sent.
  int checked = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const double wordPos = 100 + i * 4160.0 / 11025.0;
    if (std::abs(std::fmod(2400.0 * i / 11025.0, 1.0) - 0.25) > 0.02 ||
        wordPos - std::floor(wordPos) < 0.05 || wordPos >= 2080)
      continue;
    const double envelope = o.peak * (0.06 + 0.86 * words[std::size_t(wordPos)] / 255);
    EXPECT_NEAR(s[i], envelope * std::sin(2 * M_PI * 2400.0 * i / 11025.0), 2.0);
    ++checked;
  }
  EXPECT_GT(checked, 50);
  EXPECT_NEAR(testing::AptLineStartSample(o, 1), (2080 - 100) / 4160.0 * 11025, 1e-9);
}

TEST(AptSignal, LineLayoutHasBothSyncsAndTheTelemetryFrame) {
  testing::AptContent c;
  const auto line = testing::AptLineWords(8 * 15 + 3, c);  // wedge 16: channel id
  EXPECT_EQ(line[4], 255);
  EXPECT_EQ(line[6], 0);
  EXPECT_EQ(line[1040], 255);
  EXPECT_EQ(line[1043], 0);
  EXPECT_EQ(line[1045], 255);
  EXPECT_EQ(line[testing::kAptTelemetryA], testing::AptWedgeValue(2, c, false));
  EXPECT_EQ(line[testing::kAptTelemetryB], testing::AptWedgeValue(4, c, true));
  EXPECT_EQ(testing::AptWedgeValue(8, c, false), 255);
  EXPECT_EQ(testing::AptLineWords(0, c)[testing::kAptSpaceA], 255);  // minute marker
  EXPECT_EQ(testing::AptLineWords(5, c)[testing::kAptSpaceA], 0);
}

}  // namespace
}  // namespace vivurozed
