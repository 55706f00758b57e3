// The NOAA stage of the picture post-processing: aligns the APT line on the
// channel B sync, reads the space and telemetry strips line by line, fits
// black level and gain across the pass, finds which AVHRR sensor each
// channel carries, calibrates the thermal channel and writes the two channel
// pictures and the false colour.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "image/BMPExtImage.h"
#include "noaa/FalseColour.h"
#include "noaa/Thermal.h"
#include "platform/Diagnostics.h"
#include "platform/ImageLib.h"

namespace vivurozed {

enum TChannelAContent : std::uint8_t {
  caAllSensor1 = 0,  // both channels visible
  caAllSensor2 = 1,
  caAllSensor3 = 2,
  caSensor2Then3 = 3,
  caSensor3Then2 = 4,
  caAllSensor4 = 5,  // channel A is the thermal channel
};

// "NOAA: Chan A is ..." for each case.
const char* ChannelAContentMessage(TChannelAContent content);
// The AVHRR sensor matched from wedge 16 (1 .. 6), e.g. "4 (11um thermal IR)";
// other numbers in decimal.
std::string AvhrrSensorName(int sensor);

enum TIllumination : std::uint8_t { ilNone = 0, ilSlight = 1, ilMore = 2 };
// The decoder's sharpening choice, in its order.
enum TNoaaSharpen : std::uint8_t { nsNone = 0, nsSharpen = 1, nsSharpenMore = 2 };

struct NoaaLineStats {
  std::int32_t spaceA = 0, telemetryA = 0, spaceB = 0, telemetryB = 0;  // means
  std::int32_t spaceASd = 0, telemetryASd = 0, spaceBSd = 0, telemetryBSd = 0;
  std::int32_t black = 0;
  float gain = 1.0f;
};

// Columns of the strips of a working-image line (end columns exclusive).
struct TNoaaFrame {
  int syncStart = 0;
  int spaceWidth = 0, telemetryWidth = 0;  // N8, N7
  int telemetryA = 0, spaceB = 0, telemetryB = 0, spaceA = 0;
  int imageAFirst = 0, imageAEnd = 0, imageBFirst = 0, imageBEnd = 0;
};
TNoaaFrame NoaaFrame(int width, int syncStart);

// What the stage found, for the log's readers and for checks.
struct TNoaaFindings {
  int syncStart = -1;
  int moved = 0;  // pixels, positive = right
  bool twoVisible = false;
  int wedgePhase = 0;
  std::array<double, 3> blackFit{}, gainFit{1.0, 0.0, 0.0};
  double fFirst = 0.0, fLast = 1.0;
  int lowA = 0, highA = 0, lowB = 0, highB = 0;
  bool identified = false;
  TChannelAContent channelA = caAllSensor2;
  int switchLine = -1;  // in lines of the analysed (not stretched) pass
  int sensorA = 0, sensorB = 0;
  std::array<double, 16> wedgeA{}, wedgeB{};  // normalised wedge means
  double spaceALow = 16320, spaceAHigh = 16320, spaceB = 16320;
  TWedgeCorrection wedge;
  std::array<int, 4> prt{};
  double blackbodyTemperature = 0.0;
  int blackbodyValue = 0, spaceValue = 0;
};

using TNoaaProgress = std::function<void(const std::string& text, int percent)>;

// One call's inputs and outputs. Pointers may be null where said.
struct TNoaaProcessing {
  const TIplImage* image = nullptr;  // the decoder's 16-bit picture, only read
  TExtBitmap* channelA = nullptr;    // filled as 8-bit
  TExtBitmap* channelB = nullptr;
  TDiagnostics* log = nullptr;  // may be null
  int firstCleanLine = 0;       // in and out, analysed lines; 0 = to be found
  int lastCleanLine = 0;
  int minuteMarkerPhase = 0;             // out
  std::vector<NoaaLineStats> lineStats;  // out, one per analysed line
  const TExtBitmap* tempToColourLookup = nullptr;
  std::array<double, 256>* celsius = nullptr;  // may be null
  TExtBitmap* irPicture = nullptr;             // may be null
  TExtBitmap* falseColour = nullptr;  // may be null: no identification log, no false colour
  TNoaaProgress onProgress;
  float gamma = 2.2f;
  TNoaaSharpen sharpen = nsSharpen;
  bool largeImage = false, equaliseHistogram = false, cropNoise = false;
  TIllumination illumination = ilNone;
  bool rotate180 = false, luminanceFromIR = false, frameMarkers = false;
  bool greenVegetation = true;
  TSensor* sensor = nullptr;  // calibrated when given
  // Out, when asked for: the picture resampled to the line width and moved
  // onto the sync, before any levels change, for the display picture.
  bool keepResampled = false;
  std::unique_ptr<TIplImage> resampled;
  TNoaaFindings found;  // out
};

// False, with the channel pictures left empty, when the picture is not one
// the stage can work on (under 192 lines, a missing channel picture, no
// channel B sync).
bool ProcessNOAA(TNoaaProcessing& job);

}  // namespace vivurozed
