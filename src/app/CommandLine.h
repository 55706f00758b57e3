// The command line of an unattended run: input file, optional output (a
// picture name or a folder) and option letters.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "decode/SignalVideoParamDefs.h"
#include "noaa/Thermal.h"

namespace vivurozed {

// What the options choose. Unset optionals keep the stored setting.
struct TBatchOptions {
  std::string input;
  std::string output;  // empty: no output, the run is interactive
  bool outputIsFolder = false;
  bool interactiveDirectionOnly = false;  // "pass.wav N": direction only, then a normal run
  bool southBound = false;
  bool largeImage = false;
  bool tapeInput = false;
  bool keepWindow = false;
  bool equaliseHistogram = false;
  bool reSync = false;
  bool despeckle = false;
  bool cropNoise = true;
  bool lumChanB = false;
  bool saveOnlyColour = false;
  bool hide = false;
  // -1 none, 0 BMP, 1 JPEG default quality, 2 JPEG high quality.
  int noaaOutput = 1;
  int colourMapIndex = 0;
  std::optional<std::string> colourMapName;  // "HSV", "HLS", "THERM", "CLOUDTOP", "USER"
  bool secondColourMap = false;
  std::optional<TSensorModel> sensorModel;
  TPassband passband = pbNormal;
  bool passbandGiven = false;  // a "B" letter chose it
  std::optional<TSharpen> sharpen;
  std::optional<int> illumination;  // 0 none, 1 slight, 2 more
  std::optional<int> sampleRate;
  std::optional<float> gamma;
  int geostationary = 0;        // 0 none, 1 GMS, 2 GOES, 3 Meteosat
  std::string overlayElements;  // letters after "O"; empty: no overlay drawn
  // Long options: "--overlay", "--elements PATH", "--home LAT,LON",
  // "--start YYYY-MM-DD hh:mm:ss".
  bool overlay = false;  // make the overlay whatever the settings say
  std::string elements;  // element file, or a folder of them
  std::optional<double> homeLatitude, homeLongitude;
  std::optional<double> start;  // UTC start of the recording (days since 1899-12-30)
  // Live input. The input "-" is standard input: a WAV stream, or with
  // "--raw-rate RATE" headerless signed 16-bit little-endian mono.
  // "--follow[=SECONDS]" reads a WAV file that is still being written until
  // it has not grown for SECONDS (default 5). "--type NAME" decodes as that
  // type (a short decode type name: NOAA, Meteor, ...) without waiting for
  // the analysis. "--capture[=NAME]" records from the sound card (the
  // default input, or the one whose name contains NAME); no input is named
  // then, and the first parameter is the output.
  bool standardInput = false;
  std::optional<std::string> capture;
  std::optional<int> rawRate;
  std::optional<double> followQuiet;  // set: follow the input file
  std::optional<TDecodeParameters> type;
};

struct TCommandLine {
  bool ok = false;
  std::string error;  // why the command line was refused
  TBatchOptions options;
};

// Parses the parameters after the program name. isFolder tells whether a
// path names an existing folder (a parameter test, kept apart for tests).
TCommandLine ParseCommandLine(const std::vector<std::string>& parameters,
                              bool (*isFolder)(const std::string& path) = nullptr);

// "NOAA12" .. "NOAA19" inside a text: the sensor model, otherwise unknown.
TSensorModel SensorModelFromText(const std::string& text);

// What --help prints.
const char* CommandLineUsage();

}  // namespace vivurozed
