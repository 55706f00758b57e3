#include "signal/SignalProcessing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "AptSignal.h"
#include "WavWriter.h"

namespace vivurozed {
namespace {

using testing::BuildWav;

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
                                bool agc = false, int bufferSamples = 4) {
  TSignalSource source;
  Collector sink;
  source.SetDataSink(&sink);
  source.SetBufferSamples(bufferSamples);
  source.SetAGC(agc);
  source.SetChannelSelect(c);
  std::istringstream in([&] {
    const auto b = BuildWav(interleaved, {.channels = 2});
    return std::string(b.begin(), b.end());
  }());
  source.WaveIn().ReadStream(in, "t");
  return sink.samples;
}

TEST(ChannelSelect, MapsLeftAndRightAsChosen) {
  const std::vector<std::int16_t> lr = {101, -7, 101, -7, 101, -7, 101, -7};  // L, R frames
  EXPECT_EQ(ReadStereo(lr, chSum)[0], TSample(47, 0));                        // (101 - 7) div 2
  EXPECT_EQ(ReadStereo(lr, chDiff)[0], TSample(-54, 0));                      // (-7 - 101) div 2
  EXPECT_EQ(ReadStereo(lr, chLeft)[0], TSample(101, 0));
  EXPECT_EQ(ReadStereo(lr, chRight)[0], TSample(-7, 0));
  EXPECT_EQ(ReadStereo(lr, chCplx)[0], TSample(101, -7));
  EXPECT_EQ(ReadStereo(lr, chMonoToBoth)[0], TSample(101, 101));
  const std::vector<std::int16_t> odd = {3, 0, 3, 0, 3, 0, 3, 0};
  EXPECT_EQ(ReadStereo(odd, chDiff)[0], TSample(-1, 0));  // truncates toward zero
  const std::vector<std::int16_t> equal = {500, 500, -9, -9, 7, 7, 1, 1};
  for (const auto& s : ReadStereo(equal, chDiff)) EXPECT_EQ(s, TSample(0, 0));
}

TEST(Agc, QuietBlocksGainAtMostTenPercentAndLoudOnesDropAtOnce) {
  std::vector<std::int16_t> s;
  auto block = [&](std::int16_t v) {
    for (int i = 0; i < 4; ++i) {
      s.push_back(v);
      s.push_back(v);
    }
  };
  block(500);  // peak counts as 1000: target 16.384, but gain starts at 1 and rises 10 %
  block(500);
  block(16384);  // target 1: drops at once
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

TEST(Chain, AProcessorThatIsItsOwnSinkDoesNotRecurse) {
  Doubler p;
  p.SetDataSink(&p);
  std::vector<TSample> block = {TSample(1, 0)};
  p.SetSampleRate(10);
  p.BeginData();
  p.DataIn(nullptr, block);
  p.EndData();
  EXPECT_EQ(block[0], TSample(2, 0));
}

TEST(Chain, SourceIgnoresBlocksFromItself) {
  TSignalSource source;
  Collector sink;
  source.SetDataSink(&sink);
  std::vector<TSample> block = {TSample(1, 0)};
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
  auto out = osc.Generate(5);
  const auto& t = SineTable();
  EXPECT_EQ(out[0], t[0]);
  EXPECT_EQ(out[1], t[8192]);
  EXPECT_EQ(out[2], t[16384]);
  EXPECT_EQ(out[3], t[24576]);
  EXPECT_EQ(out[4], t[0]);
  out = osc.Generate(1);  // the phase runs on across calls
  EXPECT_EQ(out[0], t[8192]);

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
    const double phase = std::fmod(2400.0 * i / 11025.0, 1.0);
    if (std::abs(phase - 0.25) > 0.02) continue;
    const double wordPos = 100 + i * 4160.0 / 11025.0;
    if (wordPos - std::floor(wordPos) < 0.05 || wordPos >= 2080) continue;
    const double w = words[static_cast<std::size_t>(wordPos)];
    const double envelope = o.peak * (0.06 + 0.86 * w / 255);
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
