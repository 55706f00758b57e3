// The satellite-type analyser: listens to a few seconds from inside a
// recording through chains of its own and names the transmission type from
// the carrier, line-synchronous tone averages and the line-rate
// autocorrelation. Every measurement goes to the log so that the user can
// see why a type was chosen.
#pragma once

#include <array>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Diagnostics.h"
#include "signal/SignalProcessing.h"

namespace vivurozed {

// Raised for input the analyser cannot use; nothing is decided then.
class TAnalyserError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What AnalyseFile returns. The numbering is the analyser's own: the caller
// maps it to a decode type.
enum TAnalyserResult : int {
  arUnknown = 0,
  arMeteor35 = 1,
  arMeteor221 = 2,
  arResurs = 3,
  arNOAA = 4,
  arOkean = 5,
  arSich = 6,
  arSich600 = 7,
  arOkeanO = 8,
  arMeteosat = 9,
  arWEFAX = 10
};

// The display name of each result code.
extern const std::array<const char*, 11> AnalyserResultNames;

// The integer setting "PrescanSampleRate" (0 when absent).
int PrescanSampleRate();
// Where that setting is read from: the application installs the settings
// store here (the numeric code cannot reach it).
void SetPrescanSampleRateSource(std::function<int()> source);

// Names the satellite type of a recording of 11025 Hz holding at least 9
// seconds. position (0 .. 1) places the 9 seconds analysed inside the file.
// carrierFrequency gets the apparent carrier, analysisTime the seconds
// spent, syncTone the tone that decided (0 when none). The log may be null.
// Throws TAnalyserError for unusable input or a missing averager.
int AnalyseFile(const std::string& fileName, bool forceWefax, TDiagnostics* log,
                float& carrierFrequency, float& analysisTime, TSignalAverage* avg, int& syncTone,
                double position);

// The double-rate (4 lines a second) test over 2 seconds of the file's
// subcarrier envelope, through a resonator at resonatorFrequency unless it
// is 0. Returns the lag of the autocorrelation peak near one second, or 0
// when the file is too short. acf, when given, receives 2 x (rate / 2)
// values of the autocorrelation.
int CheckAutocorrelation(const std::string& fileName, bool& doubleSpeed, std::vector<float>* acf,
                         TDiagnostics* log, int resonatorFrequency, int sampleRate, int frameCount,
                         float& time, double position);

// The carrier frequency over count frames from start, from the mean phase
// step of a narrow quadrature band-pass at 2400 Hz; 0 when nothing was read.
float MeasureCarrier(const std::string& fileName, int count, int start);

struct TAverageStats {
  float meanSignal = 0;   // mean of the real averages
  float toneAverage = 0;  // mean of the square roots of the tone averages
  float tonePeak = 0;     // midway between the smallest and largest tone average
};
TAverageStats AverageStats(const TSignalAverage& avg);

// How badly eight steps of 0.00389 s after centre + offset seconds miss the
// levels 7/8 .. 0/8 of twice the mean over the 12/256 s ending at centre
// (indices wrap at the averager's period). rate is the analysis rate.
float WedgeError(const TSignalAverage& avg, int rate, int centre, float offset);

}  // namespace vivurozed
