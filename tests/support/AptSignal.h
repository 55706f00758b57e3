// APT-like test signals with known truth: 2 lines a second of 2080 words at
// 4160 words a second, channel A sync of 7 cycles at 1040 Hz, channel B sync
// of 7 cycles at 832 Hz, space strips with minute markers, telemetry wedges,
// on a 2400 Hz amplitude-modulated subcarrier.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

namespace vivurozed::testing {

constexpr int kAptWordsPerLine = 2080;
constexpr double kAptWordsPerSecond = 4160.0;

// Word offsets within a line.
constexpr int kAptSyncA = 0, kAptSpaceA = 39, kAptImageA = 86, kAptTelemetryA = 995;
constexpr int kAptSyncB = 1040, kAptSpaceB = 1079, kAptImageB = 1126, kAptTelemetryB = 2035;
constexpr int kAptImageWords = 909, kAptTelemetryWords = 45, kAptLinesPerFrame = 128;

struct AptContent {
  // Picture words of channel A and B by line and column (0 .. 908).
  std::function<std::uint8_t(int line, int column)> imageA = [](int line, int column) {
    return static_cast<std::uint8_t>((line * 3 + column / 4) & 0xFF);
  };
  std::function<std::uint8_t(int line, int column)> imageB = [](int line, int column) {
    return static_cast<std::uint8_t>(255 - ((line + column / 4) & 0xFF));
  };
  int channelA = 2;  // AVHRR channel ids sent in wedge 16
  int channelB = 4;
  std::array<std::uint8_t, 4> prt = {100, 101, 102, 103};  // wedges 10 .. 13
  std::uint8_t patch = 90;                                 // wedge 14
  std::uint8_t backScanA = 40, backScanB = 160;            // wedge 15
  int linesPerMinuteMarker = 120;  // minute markers on the first 2 lines of every 120
  // The transmitted layout rather than the simplified one above: sync B is 4
  // low words then 7 cycles of 3 high and 2 low; a minute marker is 2 black
  // then 2 white lines in both space strips; each space strip shows the
  // level of the sensor its channel carries (thermal and mid-IR sensors 3, 4
  // and 5 see cold space as spaceIR, the others as spaceVisible).
  bool standardFormat = false;
  std::uint8_t spaceIR = 255, spaceVisible = 0;
  // From this line on channel A carries channelAAfterSwitch (-1: never).
  int switchLine = -1;
  int channelAAfterSwitch = 2;
};

// The channel A sensor of a line.
int AptChannelA(int line, const AptContent& content);

// Telemetry wedge value (1 .. 16) for a channel.
std::uint8_t AptWedgeValue(int wedge, const AptContent& content, bool channelB);
// The 2080 words of line `line` (counted from the start of a telemetry frame).
std::vector<std::uint8_t> AptLineWords(int line, const AptContent& content = {});

struct AptOptions {
  int sampleRate = 11025;
  double seconds = 10.0;
  double carrierHz = 2400.0;
  double peak = 0.8 * 32767;  // carrier amplitude at word 255
  double wordRatePpm = 0.0;   // transmitted word rate error
  double startWord = 0.0;     // word position at the first sample
  int firstLine = 0;          // line number of word 0 (telemetry frame phase)
  double snrDb = std::numeric_limits<double>::infinity();
  double fadeStart = 0.0, fadeLength = 0.0, fadeDepthDb = 0.0;
  unsigned seed = 1;
  bool envelopeOnly = false;  // the demodulated envelope, without the carrier
  AptContent content;
};

// Mono 16-bit samples: A * (0.06 + 0.86 * w / 255) * sin(2 pi fc t) plus
// noise; with envelopeOnly, the envelope A * (0.06 + 0.86 * w / 255) itself.
std::vector<std::int16_t> AptSignal(const AptOptions& options = {});

}  // namespace vivurozed::testing
