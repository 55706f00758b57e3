// Line-synchronous test recordings with the tone signature of each family
// the satellite-type analyser knows, on a 2400 Hz amplitude-modulated
// subcarrier. Each line starts with its family's marker tone: the envelope
// swings sinusoidally between black and white at the tone frequency for the
// burst length, and the rest of the line is a slowly changing picture.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

namespace vivurozed::testing {

enum class ToneFamily {
  Meteor35,    // 2 lines/s, 256 Hz burst, wedge right after it
  Meteor221,   // 2 lines/s, a longer 256 Hz burst
  Resurs,      // 2 lines/s, 256 Hz burst, wedge 0.4128 s after the Meteor place
  Okean,       // 4 lines/s, long 1200 Hz burst
  OkeanO,      // 4 lines/s, short 1200 Hz bursts repeated through the line
  Sich600,     // 4 lines/s, 600 Hz burst
  Meteosat,    // 4 lines/s, 840 Hz burst
  DoubleRate,  // 4 lines/s, a black and white bar and no tone
};

struct ToneLayout {
  double linesPerSecond;
  double toneHz;            // 0: no tone
  double burst;             // seconds at the start of each line
  double wedgeStart;        // seconds into the line where eight steps 7/8 .. 0/8 begin; < 0: none
  int burstCount = 1;       // bursts per line
  double burstSpacing = 0;  // seconds from one burst's start to the next
};

constexpr double kWedgeStep = 0.00389;  // seconds per wedge step
constexpr double kMeteorBurst = 0.055;

ToneLayout LayoutOf(ToneFamily family);

struct ToneSignalOptions {
  ToneFamily family = ToneFamily::Meteor35;
  int sampleRate = 11025;
  double seconds = 12.0;
  double carrierHz = 2400.0;
  double peak = 0.8 * 32767;  // carrier amplitude at white
  double snrDb = 30.0;        // carrier power at white against noise; infinity: none
  double startOffset = 0.1;   // seconds into line 0 at the first sample
  unsigned seed = 1;
};

// Envelope level 0 .. 1 at t seconds into line `line`.
double ToneLevel(const ToneLayout& layout, int line, double t);

// Mono 16-bit samples.
std::vector<std::int16_t> ToneSignal(const ToneSignalOptions& options);

// Gaussian noise of the given standard deviation, mono 16-bit.
std::vector<std::int16_t> NoiseSignal(int sampleRate, double seconds, double deviation,
                                      unsigned seed = 1);

}  // namespace vivurozed::testing
