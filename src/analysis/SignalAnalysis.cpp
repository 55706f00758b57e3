#include "analysis/SignalAnalysis.h"

#include <functional>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>

#include "signal/SignalDetectors.h"
#include "signal/SignalFilters.h"
#include "signal/SignalHilbert.h"
#include "signal/WaveCommon.h"

namespace vivurozed {

const std::array<const char*, 11> AnalyserResultNames = {
    "Unknown", "Meteor 3-5", "Meteor 2-21", "Resurs O1-N4", "NOAA", "Okean",
    "Sich",    "Sich-6",     "Okean-O",     "Meteosat",     "WEFAX"};

namespace {
std::function<int()> prescanSource;
}  // namespace

int PrescanSampleRate() {
  return prescanSource ? prescanSource() : 0;
}

void SetPrescanSampleRateSource(std::function<int()> source) {
  prescanSource = std::move(source);
}

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStandardRate = 11025;

// Rounded to the nearest integer, halves to the even neighbour.
int Nearest(double x) {
  if (!std::isfinite(x)) return 0;
  return static_cast<int>(std::nearbyint(std::clamp(x, -2147483648.0, 2147483647.0)));
}

int Wrap(long long i, int period) {
  const long long m = i % period;
  return static_cast<int>(m < 0 ? m + period : m);
}

void Log(TDiagnostics* log, std::string line) {
  if (log != nullptr) log->Add(std::move(line));
}

float Seconds(Clock::duration d) {
  return std::chrono::duration<float>(d).count();
}

// Subcarrier envelope, low-passed, into a sliding tone detector whose output
// is averaged line by line.
struct TToneChain {
  TSignalSource source;
  TSignalIIRFilter20pole bandPass;
  TSignalSyncDemod demod;
  TSignalFIRFilter lowPass;
  TSignalToneDetect2 tone;

  explicit TToneChain(TSignalAverage& avg) {
    source.SetAGC(false);
    source.SetChannelSelect(chMonoToBoth);
    source.SetDataSink(&bandPass);
    bandPass.SetDataSink(&demod);
    demod.SetDataSink(&lowPass);
    lowPass.SetDataSink(&tone);
    tone.SetDataSink(&avg);
    lowPass.SetFilterType(ftLowPass);
    lowPass.SetWindowFunction(wfBartlett);
  }
  void SetLowPass(int pass, int stop, int taps) {
    lowPass.SetPassFreq(pass);
    lowPass.SetStopFreq(stop);
    lowPass.SetTaps(taps);
  }
  void SetTone(int hz, int integration) {
    tone.SetFrequency(hz);
    tone.SetIntegrationCount(integration);
  }
};

std::string ToneLine(const char* format, int hz, const TAverageStats& st, double avgReq,
                     double peakReq) {
  return Format(format, hz, st.toneAverage, avgReq, st.tonePeak, peakReq);
}

constexpr const char* kToneLine =
    "  %d Hz tone: average: %.3f (req: %.3f),  peak: %.3f (req: %.3f)";

// The tests of the double-rate branch, in the order they run.
struct TDoubleRateTest {
  const char* analysisLine;
  const char* toneLine;
  int passFreq, stopFreq, taps;
  int toneHz;
  double integrationCycles;  // integration = nearest(cycles x R / toneHz)
  int seconds;
  double averageReq, peakReq;
  int result, syncTone;
  const char* message;
};

constexpr std::array<TDoubleRateTest, 4> kDoubleRateTests = {{
    {"OKEAN analysis: mean signal: %f",
     "  %d Hz tone: average:  %.3f (req: %.3f),  peak: %.3f (req: %.3f)", 1300, 1600, 59, 1200, 50,
     3, 0.045, 0.065, arOkean, 1200, "  analyser recognised OKEAN (piano key)"},
    {"Okean-O analysis: mean signal: %f", kToneLine, 1200, 1600, 55, 1200, 12, 2, 0.06, 0.04,
     arOkeanO, 1200, "  analyser recognised OKEAN-O"},
    {"SICH analysis: mean signal: %f", kToneLine, 1200, 1600, 55, 600, 13, 2, 0.1, 0.1, arSich600,
     600, "  analyser recognised SICH (600Hz)"},
    {"Meteosat analysis: mean signal: %f", kToneLine, 1050, 1500, 55, 840, 7, 2, 0.046, 0.06,
     arMeteosat, 840, "  analyser recognised Meteosat"},
}};

}  // namespace

float MeasureCarrier(const std::string& fileName, int count, int start) {
  TSignalSource source;
  TSignalHilbertFreqMeter meter;
  source.SetAGC(false);
  source.SetChannelSelect(chMonoToBoth);
  source.SetDataSink(&meter);
  source.SetSampleRate(kStandardRate);
  meter.SetCarrierFrequency(2400);
  meter.SetBandwidth(36);
  source.ReadFile(fileName, count, start);
  return static_cast<float>(meter.MeasuredFrequency());
}

TAverageStats AverageStats(const TSignalAverage& avg) {
  TAverageStats st;
  const auto& re = avg.AverageRe();
  const auto& im = avg.AverageIm();
  if (re.empty()) return st;
  double sum = 0, roots = 0;
  float lo = im[0], hi = im[0];
  for (std::size_t i = 0; i < re.size(); ++i) {
    sum += re[i];
    roots += std::sqrt(std::max(im[i], 0.0f));
    lo = std::min(lo, im[i]);
    hi = std::max(hi, im[i]);
  }
  const auto n = static_cast<double>(re.size());
  st.meanSignal = static_cast<float>(sum / n);
  st.toneAverage = static_cast<float>(roots / n);
  st.tonePeak = (lo + hi) / 2;
  return st;
}

float WedgeError(const TSignalAverage& avg, int rate, int centre, float offset) {
  const auto& re = avg.AverageRe();
  const int period = static_cast<int>(re.size());
  if (period == 0) return INFINITY;
  const int n = Nearest(12.0 * rate / 256);
  double sum = 0;
  for (int i = 0; i < n; ++i) sum += re[static_cast<std::size_t>(Wrap(centre - i, period))];
  const double reference = n > 0 ? 2 * sum / n : 0.0;
  // A level that cannot be measured fits nothing.
  if (!(reference != 0)) return INFINITY;

  const int step = Nearest(0.00389 * rate);
  const int half = step / 2;
  long long x =
      centre + Nearest(static_cast<double>(rate) * static_cast<double>(offset)) + step / 4;
  double error = 0;
  for (int k = 7; k >= 0; --k) {
    double m = 0;
    for (int j = 1; j <= half; ++j) m += re[static_cast<std::size_t>(Wrap(x + j, period))];
    if (half > 0) m /= half;
    error += std::fabs(m / reference - k / 8.0);
    x += step;
  }
  return static_cast<float>(error);
}

int CheckAutocorrelation(const std::string& fileName, bool& doubleSpeed, std::vector<float>* acf,
                         TDiagnostics* log, int resonatorFrequency, int sampleRate, int frameCount,
                         float& time, double position) {
  doubleSpeed = false;
  time = 0;
  const auto started = Clock::now();
  const int r = sampleRate;
  const int n = r / 2;

  TSignalSource source;
  TSignalHilbertAMDetector detector;
  TSignal2ChResonator resonator;
  TSignalAutocorrelation correlator;
  source.SetAGC(false);
  source.SetChannelSelect(chMonoToBoth);
  source.SetDataSink(&detector);
  detector.SetCarrierFrequency(2400);
  detector.SetBandwidth(1300);
  detector.SetFilterTaps(31);
  detector.SetWindowFunction(wfBlackmanOpt);
  detector.SetSampleRate(r);
  if (resonatorFrequency != 0) {
    detector.SetDataSink(&resonator);
    resonator.SetLeftFrequency(resonatorFrequency);
    resonator.SetRightFrequency(resonatorFrequency);
    resonator.SetLeftQfactor(7);
    resonator.SetRightQfactor(7);
    resonator.SetDataSink(&correlator);
  } else {
    detector.SetDataSink(&correlator);
  }
  correlator.SetLength(n);

  if (n <= 0 || frameCount < 2 * r) return 0;
  const double where = std::clamp(position, 0.0, 1.0);
  source.ReadFile(fileName, 2 * r, Nearest(static_cast<double>(frameCount - 2 * r) * where));
  const std::span<const float> a = correlator.Compute(true);

  // The lag of two lines at two lines a second (four at four) lies near
  // one second.
  int t = r;
  const int reach = r / 20;
  const int last = std::min(r + reach, correlator.LagCount() - 1);
  if (r >= correlator.LagCount()) return 0;
  float best = a[static_cast<std::size_t>(r)] + 0.0001f;
  for (int lag = r - reach; lag <= last; ++lag) {
    if (a[static_cast<std::size_t>(lag)] > best) {
      best = a[static_cast<std::size_t>(lag)];
      t = lag;
    }
  }
  const float a0 = a[0];
  const float aq = a[static_cast<std::size_t>(t / 4)];
  const float ah = a[static_cast<std::size_t>(t / 2)];
  const float a3 = a[static_cast<std::size_t>(3 * t / 4)];
  const float ratio = aq + a3 != 0 ? 2 * ah / (aq + a3) : 0.0f;

  // At four lines a second the lags of one, two and three lines all match;
  // at two lines a second the half-line lags fall well below the full one.
  int votes = 0;
  if (0.8f * ah < aq && 0.8f * ah < a3 && aq > 0 && a3 > 0 && 0.22f * a0 < aq && 0.22f * a0 < a3) {
    votes = 6;
    if (0.95f * aq < ah && 0.95f * ah < a3) votes = 7;
  }
  if (ratio > 1.07f) votes = 0;
  const float minimum = correlator.Minimum();
  const float maximum = correlator.Maximum();
  const float mean = correlator.Mean();
  if (0.055f * maximum > minimum) ++votes;
  if (mean <= 0.68f * maximum) ++votes;
  doubleSpeed = votes >= 7;

  const float scale = best != 0 ? best : 1.0f;
  Log(log, Format("  ACF for F = %dHz:  acf[0] = %f,  [t/2]=%f,  [t]=%f,  [3t/2]=%f,  ratio [t] / "
                  "avg([t/2], [3t/2])=%f",
                  resonatorFrequency, a0 / scale, aq / scale, ah / scale, a3 / scale, ratio));
  const float level = maximum != 0 ? 100 / maximum : 0.0f;
  Log(log,
      Format("  ACF:  minimum %.1f%%,  mean %.1f%% of peak signal", minimum * level, mean * level));
  Log(log, doubleSpeed ? "  ACF suggests double-speed (4/second) signal)"
                       : "  ACF does not suggest double-speed signal");

  if (acf != nullptr) {
    const auto count = std::min<std::size_t>(2 * static_cast<std::size_t>(n), a.size());
    acf->assign(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(count));
  }
  time = Seconds(Clock::now() - started);
  return t;
}

int AnalyseFile(const std::string& fileName, bool forceWefax, TDiagnostics* log,
                float& carrierFrequency, float& analysisTime, TSignalAverage* avg, int& syncTone,
                double position) {
  int result = arUnknown;
  syncTone = 0;
  if (avg == nullptr) throw TAnalyserError("Error in AnalyseFile: \"avg\" must be assigned.");

  int r = 0, frames = 0;
  if (!GetWaveFileInfo(fileName, r, frames))
    throw TAnalyserError("Error in AnalyseFile: Can't get wave file information.");
  if (r != kStandardRate)
    throw TAnalyserError("Error in AnalyseFile: Expect sample rate to be 11025 Hz.");

  // A receiver whose sound card runs off its nominal rate can be analysed at
  // the rate it really has.
  r = PrescanSampleRate();
  if (r < 10925 || r > 11125) {
    r = kStandardRate;
    Log(log, "Non-standard sample rate reset to 11025 Hz");
  }

  if (frames < 9 * r)
    throw TAnalyserError(
        "Error in AnalyseFile: Need more samples than there are in the wave file.");
  // Outside 0 .. 1 the start would leave the file.
  const double where = std::isnan(position) ? 0.0 : std::clamp(position, 0.0, 1.0);
  const int start = Nearest(static_cast<double>(frames - 9 * r) * where);
  Log(log, Format("Signal analysis at %f into the file...", position));
  if (r != kStandardRate) Log(log, Format("  Non-standard sample rate %d Hz used", r));

  avg->SetPeriod(r / 2);
  TToneChain chain(*avg);
  chain.SetLowPass(1100, 1900, 31);
  chain.SetTone(256, Nearest(12.0 * r / 256));
  const auto started = Clock::now();

  const float fc = MeasureCarrier(fileName, 9 * r, start);
  carrierFrequency = fc;
  chain.source.ReadFile(fileName, 9 * r, start);
  TAverageStats st = AverageStats(*avg);
  // No carrier measured (silence) suggests no rate.
  const int suggested = fc > 0 ? Nearest(26460000.0 / fc - 2) : 0;
  Log(log, Format("Apparent carrier freq: %.2f Hz, suggested sampling freq: %d Hz", fc, suggested));
  Log(log, Format("Meteor/Resurs analysis: mean signal: %f", st.meanSignal));
  Log(log, ToneLine("  %d Hz tone: averge: %.3f (req: %.3f),  peak: %.3f (req: %.3f)", 256, st,
                    0.095, 0.08));

  if (st.toneAverage > 0.095 && st.tonePeak > 0.08) {
    syncTone = 256;
    const auto& im = avg->AverageIm();
    const int period = static_cast<int>(im.size());
    const float peak = st.tonePeak;
    auto at = [&](long long i) { return im[static_cast<std::size_t>(Wrap(i, period))]; };
    // Each walk is bounded by one period: a flat average has no edges.
    long long i = 1;
    for (int k = 0; k < period && at(i) >= peak; ++k) ++i;
    for (int k = 0; k < period && at(i) <= peak; ++k) ++i;
    const long long a = i;
    long long b = a + 101;
    for (int k = 0; k < period && at(b) >= peak; ++k) ++b;
    const auto halfWidth = static_cast<int>(b - a - 200);
    const auto centre = static_cast<int>((a + 100 + b) / 2 + chain.tone.IntegrationCount());
    const float meteorError = WedgeError(*avg, r, centre, -0.0005f);
    const float resursError = WedgeError(*avg, r, centre, 0.4123f);
    Log(log, Format("  wedge errors: Meteor %f,  Resurs: %f", meteorError, resursError));
    if (meteorError <= resursError) {
      result = arMeteor35;
      Log(log, "  analyser recognised Meteor 3-5");
    } else {
      result = arResurs;
      Log(log, "  analyser recognised Resurs");
    }
    Log(log, Format("  tone half-width is %d, need %d for Meteor 2-21", halfWidth, 272));
    if (halfWidth > 272) {
      result = arMeteor221;
      Log(log, "  analyser recognised Meteor 2-21");
    }
  } else {
    Log(log, "Analysis - checking auto-correlation");
    bool doubleSpeed = false;
    float acfTime = 0;
    CheckAutocorrelation(fileName, doubleSpeed, nullptr, log, 0, r, frames, acfTime, where);
    if (doubleSpeed || forceWefax) {
      if (!doubleSpeed) Log(log, "Analysis - WEFAX-forced double-speed check");
      bool accepted = false;
      for (const TDoubleRateTest& test : kDoubleRateTests) {
        chain.SetLowPass(test.passFreq, test.stopFreq, test.taps);
        avg->SetPeriod(r / 4);
        chain.SetTone(test.toneHz, Nearest(test.integrationCycles * r / test.toneHz));
        chain.source.ReadFile(fileName, test.seconds * r, start);
        st = AverageStats(*avg);
        Log(log, Format(test.analysisLine, st.meanSignal));
        Log(log, ToneLine(test.toneLine, test.toneHz, st, test.averageReq, test.peakReq));
        const bool meteosat = test.result == arMeteosat;
        if (st.toneAverage > test.averageReq && st.tonePeak > test.peakReq &&
            (meteosat ? st.tonePeak > 0.8f * st.toneAverage : !forceWefax)) {
          result = test.result;
          syncTone = test.syncTone;
          Log(log, test.message);
          accepted = true;
          break;
        }
        if (test.result == arOkean) {
          result = arSich;
          syncTone = 0;
          avg->Reset();
          Log(log, "  analyser recognised SICH (2 x speed - OKEAN or SICH)");
        }
      }
      if (!accepted && forceWefax) {
        result = arWEFAX;
        syncTone = 0;
        Log(log, "  analyser recognised generic WEFAX");
      }
    } else {
      chain.SetLowPass(832, 1600, 47);
      avg->SetPeriod(r / 2);
      avg->Reset();
      chain.SetTone(832, Nearest(7.0 * r / 832));
      chain.source.ReadFile(fileName, 2 * r, start);
      st = AverageStats(*avg);
      Log(log, Format("NOAA analysis: mean signal: %f", st.meanSignal));
      Log(log, ToneLine(kToneLine, 832, st, 0.0145, 0.055));
      if (st.toneAverage > 0.0145 && st.tonePeak > 0.055) {
        result = arNOAA;
        syncTone = 832;
        Log(log, "  analyser recognised NOAA APT");
      } else {
        avg->Reset();
      }
    }
  }

  analysisTime = Seconds(Clock::now() - started);
  return result;
}

}  // namespace vivurozed
