#include "analysis/SignalAnalysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "AptSignal.h"
#include "ToneSignals.h"
#include "WavWriter.h"

namespace vivurozed {
namespace {

using testing::ToneFamily;

constexpr int kRate = 11025;

struct Analysis {
  int result = -1;
  float carrier = -1;
  float time = -1;
  int tone = -1;
  TDiagnostics log;

  bool Logged(const std::string& line) const {
    return std::find(log.Lines().begin(), log.Lines().end(), line) != log.Lines().end();
  }
  // Index of the first line starting with prefix, or -1.
  int Find(const std::string& prefix) const {
    for (std::size_t i = 0; i < log.Count(); ++i) {
      if (log.Lines()[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
    }
    return -1;
  }
};

Analysis Analyse(const std::string& path, bool forceWefax = false, double position = 0.5) {
  Analysis a;
  TSignalAverage avg;
  a.result = AnalyseFile(path, forceWefax, &a.log, a.carrier, a.time, &avg, a.tone, position);
  return a;
}

std::vector<std::int16_t> Apt(double seconds, double snrDb = 30, double carrierHz = 2400) {
  testing::AptOptions o;
  o.seconds = seconds;
  o.snrDb = snrDb;
  o.carrierHz = carrierHz;
  return testing::AptSignal(o);
}

std::vector<std::int16_t> Tone(ToneFamily family, double snrDb = 30) {
  testing::ToneSignalOptions o;
  o.family = family;
  o.snrDb = snrDb;
  return testing::ToneSignal(o);
}

std::string Write(const testing::TempDir& dir, const char* name,
                  const std::vector<std::int16_t>& samples) {
  const auto path = (dir / name).string();
  testing::WriteWav(path, samples);
  return path;
}

// --- Recognition of each family --------------------------------------------------

struct FamilyCase {
  const char* label;
  int family;  // a ToneFamily, or -1 for NOAA APT, -2 for noise alone
  int result;
  int syncTone;
  const char* verdict;  // the deciding log line, or null
};

std::vector<std::int16_t> Make(const FamilyCase& c, double snrDb) {
  if (c.family == -1) return Apt(12, snrDb);
  if (c.family == -2) return testing::NoiseSignal(kRate, 12, 3000);
  return Tone(static_cast<ToneFamily>(c.family), snrDb);
}

class Recognition : public ::testing::TestWithParam<std::tuple<FamilyCase, double>> {};

TEST_P(Recognition, NamesTheFamilyByItsToneSignature) {
  const auto& [c, snr] = GetParam();
  testing::TempDir dir;
  const Analysis a = Analyse(Write(dir, "rec.wav", Make(c, snr)));
  EXPECT_EQ(a.result, c.result);
  EXPECT_EQ(a.tone, c.syncTone);
  EXPECT_TRUE(c.verdict == nullptr || a.Logged(c.verdict)) << c.verdict;
  EXPECT_TRUE(c.family == -2 || std::fabs(a.carrier - 2400) < 2.0) << a.carrier;
  EXPECT_GE(a.time, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Families, Recognition,
    ::testing::Combine(
        ::testing::Values(FamilyCase{"Meteor35", int(ToneFamily::Meteor35), arMeteor35, 256,
                                     "  analyser recognised Meteor 3-5"},
                          FamilyCase{"Meteor221", int(ToneFamily::Meteor221), arMeteor221, 256,
                                     "  analyser recognised Meteor 2-21"},
                          FamilyCase{"Resurs", int(ToneFamily::Resurs), arResurs, 256,
                                     "  analyser recognised Resurs"},
                          FamilyCase{"Okean", int(ToneFamily::Okean), arOkean, 1200,
                                     "  analyser recognised OKEAN (piano key)"},
                          FamilyCase{"OkeanO", int(ToneFamily::OkeanO), arOkeanO, 1200,
                                     "  analyser recognised OKEAN-O"},
                          FamilyCase{"Sich600", int(ToneFamily::Sich600), arSich600, 600,
                                     "  analyser recognised SICH (600Hz)"},
                          FamilyCase{"Meteosat", int(ToneFamily::Meteosat), arMeteosat, 840,
                                     "  analyser recognised Meteosat"},
                          FamilyCase{"PlainDoubleRate", int(ToneFamily::DoubleRate), arSich, 0,
                                     "  analyser recognised SICH (2 x speed - OKEAN or SICH)"},
                          FamilyCase{"NOAA", -1, arNOAA, 832, "  analyser recognised NOAA APT"},
                          FamilyCase{"Noise", -2, arUnknown, 0, nullptr}),
        ::testing::Values(30.0, 20.0)),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).label) + "_" +
             std::to_string(static_cast<int>(std::get<1>(info.param))) + "dB";
    });

// --- Real recordings ---------------------------------------------------------------

TEST(RealRecordings, NoaaExcerptsAreNoaaWithTheirCarrier) {
  struct Case {
    const char* file;
    double carrier;  // what the recorder's clock makes of 2400 Hz
  };
  for (const Case& c : {Case{"noaa15-excerpt-40s.wav", 2400.0},
                        Case{"noaa15-excerpt-12s-8bit-stereo-slowclock.wav", 2400.0 / (1 - 200e-6)},
                        Case{"real-remodulated-12s.wav", 2400.0}}) {
    for (double position : {0.0, 0.5, 1.0}) {
      const Analysis a = Analyse(std::string(VZ_TEST_DATA) + "/" + c.file, false, position);
      EXPECT_EQ(a.result, arNOAA) << c.file << " at " << position;
      EXPECT_EQ(a.tone, 832);
      EXPECT_NEAR(a.carrier, c.carrier, 0.2) << c.file << " at " << position;
    }
  }
}

// --- Forcing WEFAX ------------------------------------------------------------------

TEST(ForceWefax, AToneThatWouldBeOkeanEndsAsGenericWefaxButMeteosatStillWins) {
  testing::TempDir dir;
  const Analysis a = Analyse(Write(dir, "okean.wav", Tone(ToneFamily::Okean)), true);
  EXPECT_EQ(a.result, arWEFAX);
  EXPECT_EQ(a.tone, 0);
  // The tone passed its requirements but was not taken.
  float average = 0, peak = 0;
  const int tone = a.Find("  1200 Hz tone: average:  ");
  ASSERT_GE(tone, 0);
  ASSERT_EQ(std::sscanf(a.log.Lines()[std::size_t(tone)].c_str(),
                        "  1200 Hz tone: average:  %f (req: 0.045),  peak: %f", &average, &peak),
            2);
  EXPECT_GT(average, 0.045f);
  EXPECT_GT(peak, 0.065f);
  EXPECT_FALSE(a.Logged("  analyser recognised OKEAN (piano key)"));
  EXPECT_TRUE(a.Logged("  analyser recognised SICH (2 x speed - OKEAN or SICH)"));
  EXPECT_EQ(a.log.Lines().back(), "  analyser recognised generic WEFAX");
  // Double rate was found by the autocorrelation, not forced.
  EXPECT_FALSE(a.Logged("Analysis - WEFAX-forced double-speed check"));

  const Analysis m = Analyse(Write(dir, "meteosat.wav", Tone(ToneFamily::Meteosat)), true);
  EXPECT_EQ(m.result, arMeteosat);
  EXPECT_EQ(m.tone, 840);
  EXPECT_EQ(m.log.Lines().back(), "  analyser recognised Meteosat");
}

TEST(ForceWefax, SingleRateSignalsGetTheDoubleRateTestsAnyway) {
  testing::TempDir dir;
  const Analysis a = Analyse(Write(dir, "noaa.wav", Apt(12)), true);
  EXPECT_EQ(a.result, arWEFAX);
  const int forced = a.Find("Analysis - WEFAX-forced double-speed check");
  ASSERT_GE(forced, 0);
  EXPECT_LT(a.Find("  ACF does not suggest double-speed signal"), forced);
  EXPECT_GT(a.Find("OKEAN analysis: mean signal: "), forced);
  EXPECT_GT(a.Find("Meteosat analysis: mean signal: "), forced);
  EXPECT_EQ(a.Find("NOAA analysis: "), -1);
}

// --- The log --------------------------------------------------------------------------

// The log from line `first` to its end starts with these prefixes.
void ExpectLogTail(const Analysis& a, std::size_t first, const std::vector<std::string>& prefixes) {
  ASSERT_EQ(a.log.Count(), first + prefixes.size());
  for (std::size_t i = 0; i < prefixes.size(); ++i)
    EXPECT_EQ(a.log.Lines()[first + i].rfind(prefixes[i], 0), 0u) << a.log.Lines()[first + i];
}

TEST(AnalyserLog, NoaaRunWritesEveryStepInOrder) {
  testing::TempDir dir;
  const auto path = Write(dir, "noaa.wav", Apt(12, std::numeric_limits<double>::infinity()));
  const Analysis a = Analyse(path);
  ASSERT_EQ(a.result, arNOAA);
  ExpectLogTail(
      a, 0,
      {"Non-standard sample rate reset to 11025 Hz", "Signal analysis at 0.500000 into the file...",
       // A clean 2400 Hz carrier: 26460000 / 2400 - 2.
       "Apparent carrier freq: 2400.00 Hz, suggested sampling freq: 11023 Hz",
       "Meteor/Resurs analysis: mean signal: ", "  256 Hz tone: averge: ",
       "Analysis - checking auto-correlation", "  ACF for F = 0Hz:  acf[0] = ", "  ACF:  minimum ",
       "  ACF does not suggest double-speed signal", "NOAA analysis: mean signal: ",
       "  832 Hz tone: average: ", "  analyser recognised NOAA APT"});
  EXPECT_NE(a.log.Lines()[4].find("(req: 0.095),  peak: "), std::string::npos);
  EXPECT_NE(a.log.Lines()[10].find("(req: 0.015),  peak: "), std::string::npos);
  EXPECT_NE(a.log.Lines()[10].find("(req: 0.055)"), std::string::npos);

  // The same decision without a log.
  TSignalAverage avg;
  float carrier = 0, time = 0;
  int tone = 0;
  EXPECT_EQ(AnalyseFile(path, false, nullptr, carrier, time, &avg, tone, 0.5), arNOAA);
  EXPECT_EQ(tone, 832);
}

TEST(AnalyserLog, DoubleRateTestsRunInTheirOrder) {
  testing::TempDir dir;
  const Analysis a = Analyse(Write(dir, "plain.wav", Tone(ToneFamily::DoubleRate)));
  ASSERT_EQ(a.result, arSich);
  const int first = a.Find("  ACF suggests double-speed (4/second) signal)");
  ASSERT_GE(first, 0);
  ExpectLogTail(
      a, std::size_t(first),
      {"  ACF suggests double-speed (4/second) signal)", "OKEAN analysis: mean signal: ",
       "  1200 Hz tone: average:  ", "  analyser recognised SICH (2 x speed - OKEAN or SICH)",
       "Okean-O analysis: mean signal: ", "  1200 Hz tone: average: ",
       "SICH analysis: mean signal: ", "  600 Hz tone: average: ",
       "Meteosat analysis: mean signal: ", "  840 Hz tone: average: "});
  // Only the Okean tone line has two blanks after "average:".
  EXPECT_NE(a.log.Lines()[std::size_t(first) + 5].rfind("  1200 Hz tone: average:  ", 0), 0u);
}

// --- Where in the file -------------------------------------------------------------

TEST(Position, ChoosesWhichNineSecondsAreAnalysed) {
  testing::TempDir dir;
  const auto noaa = Apt(10), noise = testing::NoiseSignal(kRate, 10, 3000, 7);
  auto noaaThenNoise = noaa, noiseThenNoaa = noise;
  noaaThenNoise.insert(noaaThenNoise.end(), noise.begin(), noise.end());
  noiseThenNoaa.insert(noiseThenNoaa.end(), noaa.begin(), noaa.end());
  const auto first = Write(dir, "first.wav", noaaThenNoise);
  const auto last = Write(dir, "last.wav", noiseThenNoaa);

  const Analysis a0 = Analyse(first, false, 0.0);
  EXPECT_EQ(a0.result, arNOAA);
  EXPECT_TRUE(a0.Logged("Signal analysis at 0.000000 into the file..."));
  EXPECT_EQ(Analyse(first, false, 1.0).result, arUnknown);
  EXPECT_EQ(Analyse(last, false, 0.0).result, arUnknown);
  const Analysis a1 = Analyse(last, false, 1.0);
  EXPECT_EQ(a1.result, arNOAA);
  EXPECT_TRUE(a1.Logged("Signal analysis at 1.000000 into the file..."));
  // A position past the end reads the last 9 seconds rather than nothing.
  EXPECT_EQ(Analyse(last, false, 3.0).result, arNOAA);
  EXPECT_EQ(Analyse(first, false, -1.0).result, arNOAA);
}

// --- Unusable input -------------------------------------------------------------------

void ExpectError(const std::string& path, TSignalAverage* avg, const char* message) {
  float carrier = 0, time = 0;
  int tone = 99;
  TDiagnostics log;
  try {
    AnalyseFile(path, false, &log, carrier, time, avg, tone, 0.5);
    ADD_FAILURE() << "no error for " << message;
  } catch (const TAnalyserError& e) {
    EXPECT_STREQ(e.what(), message);
    EXPECT_EQ(tone, 0);
  }
}

TEST(AnalyserErrors, RaiseTheirMessages) {
  testing::TempDir dir;
  TSignalAverage avg;
  ExpectError(Write(dir, "good.wav", Apt(10)), nullptr,
              "Error in AnalyseFile: \"avg\" must be assigned.");
  ExpectError((dir / "missing.wav").string(), &avg,
              "Error in AnalyseFile: Can't get wave file information.");
  const auto text = dir / "text.wav";
  testing::WriteBytes(text, std::vector<std::uint8_t>(100, 'x'));
  ExpectError(text.string(), &avg, "Error in AnalyseFile: Can't get wave file information.");

  const auto fast = (dir / "fast.wav").string();
  testing::WavOptions o;
  o.sampleRate = 22050;
  testing::WriteWav(fast, Apt(10), o);
  ExpectError(fast, &avg, "Error in AnalyseFile: Expect sample rate to be 11025 Hz.");

  // Just under 9 seconds.
  auto samples = Apt(9);
  samples.pop_back();
  ExpectError(Write(dir, "short.wav", samples), &avg,
              "Error in AnalyseFile: Need more samples than there are in the wave file.");
  // Exactly 9 seconds is enough.
  samples.push_back(0);
  EXPECT_NO_THROW(Analyse(Write(dir, "short.wav", samples)));
}

TEST(AnalyserErrors, SilenceIsUnknownAndSuggestsNoRate) {
  testing::TempDir dir;
  const Analysis a = Analyse(Write(dir, "silence.wav", std::vector<std::int16_t>(10 * kRate, 0)));
  EXPECT_EQ(a.result, arUnknown);
  EXPECT_EQ(a.carrier, 0.0f);
  EXPECT_TRUE(a.Logged("Apparent carrier freq: 0.00 Hz, suggested sampling freq: 0 Hz"));
}

// --- Parts of the analysis --------------------------------------------------------------

TEST(MeasureCarrier, FindsAnOffsetCarrier) {
  testing::TempDir dir;
  const auto path = Write(dir, "c.wav", Apt(10, 30, 2410));
  EXPECT_NEAR(MeasureCarrier(path, 9 * kRate, 0), 2410, 0.3);
}

TEST(AverageStats, MeanRootAndMidRange) {
  TSignalAverage avg;
  avg.SetPeriod(4);
  // Two passes whose averages are re = 1, 2, 3, 6 and im = 0.04, 0.25, 1, 0.
  std::vector<TSample> s = {{0, 0.08f}, {4, 0.3f}, {2, 1.5f}, {6, 0},
                            {2, 0},     {0, 0.2f}, {4, 0.5f}, {6, 0}};
  avg.DataIn(nullptr, s);
  const TAverageStats st = AverageStats(avg);
  EXPECT_FLOAT_EQ(st.meanSignal, 3.0f);
  EXPECT_NEAR(st.toneAverage, (0.2 + 0.5 + 1 + 0) / 4, 1e-6);
  EXPECT_FLOAT_EQ(st.tonePeak, 0.5f);
}

// An averager holding one pass of re.
void Load(TSignalAverage& avg, const std::vector<float>& re) {
  avg.SetPeriod(static_cast<int>(re.size()));
  std::vector<TSample> s(re.size());
  for (std::size_t i = 0; i < re.size(); ++i) s[i] = TSample(re[i], 0);
  avg.DataIn(nullptr, s);
}

// Level 0.5 (a reference of 1) with eight 43-sample steps 7/8 .. 0/8 from
// `from`.
std::vector<float> WedgeLine(int period, int from) {
  std::vector<float> re(static_cast<std::size_t>(period), 0.5f);
  for (int k = 0; k < 8; ++k) {
    for (int j = 0; j < 43; ++j) {
      re[static_cast<std::size_t>(((from + 43 * k + j) % period + period) % period)] =
          (7 - k) / 8.0f;
    }
  }
  return re;
}

TEST(WedgeError, FitsEightStepsAfterTheCentre) {
  TSignalAverage avg;
  const int period = kRate / 2;
  const int centre = 1000;
  // Meteor: the steps start 0.0005 s (6 samples) before the centre, so the
  // first one reaches 7 samples into the reference window.
  Load(avg, WedgeLine(period, centre - 6));
  const double ref = 2 * (510 * 0.5 + 7 * 0.875) / 517;
  double meteor = 0, flat = 0;
  for (int k = 0; k < 8; ++k) {
    meteor += std::fabs(k / 8.0 / ref - k / 8.0);
    flat += std::fabs(0.5 / ref - k / 8.0);
  }
  EXPECT_NEAR(WedgeError(avg, kRate, centre, -0.0005f), meteor, 1e-5);
  EXPECT_LT(meteor, 0.05);
  // A flat half level misses the steps by about |1/2 - k/8| summed.
  EXPECT_NEAR(WedgeError(avg, kRate, centre, 0.4123f), flat, 1e-5);

  // Resurs: 0.4123 s (4546 samples) after the centre, wrapping past the end
  // of the period.
  const int late = 4000;
  Load(avg, WedgeLine(period, late + 4546));
  EXPECT_NEAR(WedgeError(avg, kRate, late, 0.4123f), 0.0, 1e-5);
  EXPECT_NEAR(WedgeError(avg, kRate, late, -0.0005f), 2.0, 1e-5);

  // Twice the reference level halves every measured step.
  std::vector<float> re = WedgeLine(period, centre - 6);
  for (int i = centre - 516; i <= centre; ++i) re[static_cast<std::size_t>(i)] = 1.0f;
  Load(avg, re);
  double expected = 0;
  for (int k = 0; k < 8; ++k) expected += k / 16.0;
  EXPECT_NEAR(WedgeError(avg, kRate, centre, -0.0005f), expected, 1e-5);
}

TEST(CheckAutocorrelation, TellsFourLinesASecondFromTwo) {
  testing::TempDir dir;
  const auto quad = Write(dir, "quad.wav", Tone(ToneFamily::DoubleRate));
  const auto apt = Write(dir, "apt.wav", Apt(12));
  const int frames = 12 * kRate;

  bool doubleSpeed = false;
  std::vector<float> acf;
  float time = -1;
  TDiagnostics log;
  const int t = CheckAutocorrelation(quad, doubleSpeed, &acf, &log, 0, kRate, frames, time, 0.5);
  EXPECT_TRUE(doubleSpeed);
  // Four lines of 2756.25 samples.
  EXPECT_NEAR(t, 11025, 3);
  ASSERT_EQ(acf.size(), 2u * (kRate / 2));
  EXPECT_GT(acf[0], 0);
  EXPECT_GT(acf[2756], 0.9f * acf[0]);
  EXPECT_GE(time, 0);

  log.Clear();
  const int u =
      CheckAutocorrelation(apt, doubleSpeed, nullptr, &log, 1200, kRate, frames, time, 0.5);
  EXPECT_FALSE(doubleSpeed);
  // Two lines of 5512.5 samples.
  EXPECT_NEAR(u, 11025, 3);
  EXPECT_EQ(log.Lines()[0].rfind("  ACF for F = 1200Hz:  acf[0] = ", 0), 0u);

  // Fewer than two seconds: nothing measured.
  doubleSpeed = true;
  log.Clear();
  EXPECT_EQ(
      CheckAutocorrelation(quad, doubleSpeed, nullptr, &log, 0, kRate, 2 * kRate - 1, time, 0.5),
      0);
  EXPECT_FALSE(doubleSpeed);
  EXPECT_EQ(log.Count(), 0u);
}

}  // namespace
}  // namespace vivurozed
