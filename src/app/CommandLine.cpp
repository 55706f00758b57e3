#include "app/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "orbit/SGP_Time.h"

namespace vivurozed {

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

bool Contains(const std::string& s, const std::string& part) {
  return s.find(part) != std::string::npos;
}

// The number after the leading non-digits ("F11030" -> 11030, "G1.8" -> 1.8).
std::optional<double> NumberAfterLetters(const std::string& p) {
  const auto first = std::find_if(
      p.begin(), p.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
  if (first == p.end()) return std::nullopt;
  const std::string rest(first, p.end());
  char* end = nullptr;
  const double v = std::strtod(rest.c_str(), &end);
  if (end == rest.c_str()) return std::nullopt;
  return v;
}

bool DefaultIsFolder(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

// The letter after an option's letters, if any ("B2" -> '2').
char After(const std::string& p, std::size_t n) {
  return p.size() > n ? p[n] : '\0';
}

// Applies one upper-cased option; false when no option begins it.
bool ApplyOption(const std::string& p, TBatchOptions& o) {
  bool known = false;
  auto has = [&](const char* letters) {
    const bool yes = StartsWith(p, letters);
    known = known || yes;
    return yes;
  };
  if (has("S")) o.southBound = true;
  if (has("I")) o.largeImage = true;
  if (has("T")) o.tapeInput = true;
  if (has("K")) o.keepWindow = true;
  if (has("H")) o.equaliseHistogram = true;
  if (has("R")) o.reSync = true;
  if (has("2J")) o.noaaOutput = 2;
  if (has("2B")) o.noaaOutput = 0;
  if (has("2JX")) o.noaaOutput = -1;
  if (has("2F")) o.cropNoise = false;
  if (has("2LB")) o.lumChanB = true;
  if (has("2SCO")) o.saveOnlyColour = true;
  if (has("2HLS")) o.secondColourMap = true;
  if (has("M")) o.sensorModel = SensorModelFromText(p);
  if (has("B")) {
    const char c = After(p, 1);
    o.passband = c == '1' ? pbNormal : c == '2' ? pbWide : pbNarrow;
    o.passbandGiven = true;
  }
  if (has("C")) {
    const char c = After(p, 1);
    o.sharpen = c == '1' ? shSharpen : c == '2' ? shSharpenMore : shNone;
  }
  if (has("2A")) {
    const char c = After(p, 2);
    if (c >= '0' && c <= '2') o.illumination = c - '0';
  }
  if (has("2C")) {
    for (const char* name : {"CLOUDTOP", "THERM", "HSV", "HLS", "USER"}) {
      if (Contains(p.substr(2), name)) {
        o.colourMapName = name;
        break;
      }
    }
  }
  if (has("F")) {
    const auto v = NumberAfterLetters(p);
    if (v && *v >= 10925 && *v <= 11125) o.sampleRate = static_cast<int>(*v);
  }
  if (has("G")) {
    const auto v = NumberAfterLetters(p);
    if (v && *v >= 0.2 && *v <= 5.0) o.gamma = static_cast<float>(*v);
  }
  if (has("W")) {
    if (Contains(p, "WJ")) o.geostationary = 1;
    if (Contains(p, "WU")) o.geostationary = 2;
    if (Contains(p, "WE")) o.geostationary = 3;
  }
  if (has("O")) o.overlayElements = p.substr(1);
  if (p == "-HIDE") {
    o.hide = true;
    known = true;
  }
  return known;
}

bool IsPictureName(const std::string& p) {
  const std::string ext = Upper(std::filesystem::path(p).extension().string());
  return ext == ".BMP" || ext == ".PNG" || ext == ".JPG";
}

}  // namespace

TSensorModel SensorModelFromText(const std::string& text) {
  const std::string t = Upper(text);
  if (Contains(t, "NOAA12")) return smNOAA12;
  if (Contains(t, "NOAA14")) return smNOAA14;
  if (Contains(t, "NOAA15")) return smNOAA15;
  if (Contains(t, "NOAA16")) return smNOAA16;
  if (Contains(t, "NOAA17")) return smNOAA17;
  if (Contains(t, "NOAA18")) return smNOAA18;
  if (Contains(t, "NOAA19")) return smNOAA19;
  return smUnknown;
}

namespace {

// Takes the long options out of the parameters; false with an error text for
// a malformed or unknown one.
bool TakeLongOptions(std::vector<std::string>& parameters, TBatchOptions& o, std::string& error) {
  std::vector<std::string> rest;
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    const std::string& p = parameters[i];
    if (p.rfind("--", 0) != 0) {
      rest.push_back(p);
      continue;
    }
    const auto eq = p.find('=');
    const std::string name = p.substr(0, eq);
    auto value = [&](std::string& v) {
      if (eq != std::string::npos) {
        v = p.substr(eq + 1);
      } else if (i + 1 < parameters.size()) {
        v = parameters[++i];
      } else {
        error = name + " needs a value";
        return false;
      }
      return true;
    };
    std::string v;
    if (name == "--overlay" && eq == std::string::npos) {
      o.overlay = true;
    } else if (name == "--elements") {
      if (!value(v) || v.empty()) {
        if (error.empty()) error = "--elements needs a file or folder";
        return false;
      }
      o.elements = v;
      o.overlay = true;
    } else if (name == "--home") {
      if (!value(v)) return false;
      double lat = 0, lon = 0;
      char comma = 0, extra = 0;
      if (std::sscanf(v.c_str(), "%lf %c %lf %c", &lat, &comma, &lon, &extra) != 3 ||
          comma != ',' || !(lat >= -90 && lat <= 90) || !(lon >= -180 && lon <= 360)) {
        error = "--home wants LATITUDE,LONGITUDE in degrees (north and east positive), not \"" + v +
                "\"";
        return false;
      }
      o.homeLatitude = lat;
      o.homeLongitude = lon > 180 ? lon - 360 : lon;
    } else if (name == "--start") {
      if (!value(v)) return false;
      int y = 0, mo = 0, d = 0, h = 0, mi = 0, consumed = 0;
      double sec = 0;
      const int n = std::sscanf(v.c_str(), "%4d-%2d-%2d%*1[ T]%2d:%2d%n:%lf%n", &y, &mo, &d, &h,
                                &mi, &consumed, &sec, &consumed);
      const std::string rest = v.substr(std::size_t(consumed));
      if (n < 5 || !(rest.empty() || rest == "Z") || mo < 1 || mo > 12 || d < 1 || h > 23 ||
          mi > 59 || !(sec >= 0 && sec < 60) || y < 1958 || y > 2100 ||
          DecodeDateTime(EncodeDateTime(y, mo, d)).day != d) {
        error = "--start wants the UTC start of the recording as \"YYYY-MM-DD hh:mm:ss\", not \"" +
                v + "\"";
        return false;
      }
      o.start = EncodeDateTime(y, mo, d, h, mi) + sec / 86400.0;
      o.overlay = true;
    } else if (name == "--raw-rate") {
      if (!value(v)) return false;
      char* end = nullptr;
      const long rate = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || rate < 1000 || rate > 384000) {
        error = "--raw-rate wants the sample rate of the raw samples in Hz, not \"" + v + "\"";
        return false;
      }
      o.rawRate = static_cast<int>(rate);
    } else if (name == "--follow") {
      double quiet = 5;
      if (eq != std::string::npos) {
        v = p.substr(eq + 1);
        char* end = nullptr;
        quiet = std::strtod(v.c_str(), &end);
        if (v.empty() || *end != '\0' || !(quiet >= 0.5 && quiet <= 3600)) {
          error =
              "--follow=SECONDS wants the seconds without growth that end the recording (0.5 "
              "to 3600), not \"" +
              v + "\"";
          return false;
        }
      }
      o.followQuiet = quiet;
    } else if (name == "--capture") {
      o.capture = eq == std::string::npos ? std::string() : p.substr(eq + 1);
    } else if (name == "--type") {
      if (!value(v)) return false;
      const std::string wanted = Upper(v);
      for (int t = 0; t < kDecodeTypeCount; ++t) {
        if (Upper(DecodeParameterNames[static_cast<std::size_t>(t)]) == wanted)
          o.type = static_cast<TDecodeParameters>(t);
      }
      if (!o.type) {
        std::string names;
        for (const char* n : DecodeParameterNames)
          names += std::string(names.empty() ? "" : ", ") + n;
        error = "--type wants one of " + names + ", not \"" + v + "\"";
        return false;
      }
    } else {
      error = "Unknown option \"" + p + "\"";
      return false;
    }
  }
  parameters = std::move(rest);
  return true;
}

}  // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& given,
                              bool (*isFolder)(const std::string& path)) {
  if (!isFolder) isFolder = DefaultIsFolder;
  TCommandLine r;
  std::vector<std::string> parameters = given;
  if (!TakeLongOptions(parameters, r.options, r.error)) return r;
  // The sound card takes the input's place.
  if (r.options.capture) parameters.insert(parameters.begin(), "-");
  if (parameters.empty() || parameters[0].empty()) {
    r.error = "No input file given";
    return r;
  }
  TBatchOptions& o = r.options;
  if (o.capture) {
    o.input = "sound card";
  } else if (parameters[0] == "-") {
    o.input = "-";
    o.standardInput = true;
  } else {
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(parameters[0], ec);
    o.input = ec ? parameters[0] : absolute.string();
  }
  if (o.capture && (o.rawRate || o.followQuiet)) {
    r.error =
        "--capture records from the sound card: --raw-rate and --follow describe other inputs";
    return r;
  }
  if (o.rawRate && !o.standardInput) {
    r.error = "--raw-rate describes standard input: give \"-\" as the input";
    return r;
  }
  if (o.followQuiet && o.standardInput) {
    r.error = "--follow reads a file that is being written, not standard input";
    return r;
  }

  if (parameters.size() == 2 && (Upper(parameters[1]) == "N" || Upper(parameters[1]) == "S")) {
    o.interactiveDirectionOnly = true;
    o.southBound = Upper(parameters[1]) == "S";
    r.ok = true;
    return r;
  }
  std::size_t first = 1;
  if (parameters.size() > 1) {
    const std::string& p = parameters[1];
    const bool folderName = !p.empty() && p.back() == '/';  // made when missing
    if (IsPictureName(p) || isFolder(p) || folderName) {
      o.output = p;
      o.outputIsFolder = !IsPictureName(p);
      first = 2;
    } else if (p.find('/') != std::string::npos) {
      r.error = "The output folder " + p + " does not exist";
      return r;
    }
  }
  for (std::size_t i = first; i < parameters.size(); ++i) {
    const std::string p = Upper(parameters[i]);
    if (p.empty() || !ApplyOption(p, o)) {
      r.error = "Unknown option \"" + parameters[i] + "\"";
      if (!p.empty() && i == 1) r.error += " (nor an output picture name or an existing folder)";
      return r;
    }
  }
  r.ok = true;
  return r;
}

const char* CommandLineUsage() {
  return "Usage: vivurozed [INPUT [OUTPUT] [OPTIONS...]]\n"
         "\n"
         "Without INPUT the desktop window opens. With INPUT, decodes a\n"
         "weather-satellite recording (11025 Hz WAV, at least 30 s) or re-processes\n"
         "a saved picture (.bmp, .jpg, .png, .noa, .max); with OUTPUT (a picture\n"
         "name .bmp, .png, .jpg, or a folder) saves the pictures and ends. The\n"
         "window shows the run when there is a display, unless -hide is given.\n"
         "\n"
         "Options (letters, any case):\n"
         "  S  south-bound pass        I  large image          H  equalise histogram\n"
         "  R  attempt re-sync         T  tape input           K  keep the window open\n"
         "  2J NOAA channels as high-quality JPEG   2B as BMP  2JX no channel pictures\n"
         "  2F no noise crop           2LB luminance from IR   2SCO false colour only\n"
         "  2HLS second colour map     2A0..2A2 illumination   2C<name> colour map\n"
         "  MNOAA15 sensor model       B0..B2 input filter     C0..C2 sharpening\n"
         "  F<rate> receiver rate (10925..11125)   G<gamma> gamma (0.2..5.0)\n"
         "  WJ/WU/WE GMS, GOES, Meteosat           O<letters> overlay elements\n"
         "  -hide  no window: decode unattended\n"
         "\n"
         "Map overlay (NOAA recordings named MMDDhhmm..., e.g. 08251827_NOAA15.wav):\n"
         "  --overlay            make the overlay for this run (grid, coastlines and\n"
         "                       home marker unless O letters choose otherwise) and\n"
         "                       write the earth location of every line (.lcn)\n"
         "  --elements PATH      two-line element file, or a folder of them; also\n"
         "                       turns the overlay on (default folder:\n"
         "                       ~/.local/share/vivurozed/keps)\n"
         "  --home LAT,LON       home location in degrees, north and east positive\n"
         "  --start \"YYYY-MM-DD hh:mm:ss\"  UTC start of the recording, when its\n"
         "                       file times are lost\n"
         "\n"
         "Live input (the picture is made when the input ends or on Ctrl-C; the audio\n"
         "is kept as MMDDhhmm[_SATELLITE].wav, UTC, beside the output):\n"
         "  vivurozed - OUTPUT ...  read a WAV stream from standard input, e.g.\n"
         "                       rtl_fm ... | sox ... -t wav - | vivurozed - out/\n"
         "  --raw-rate RATE      standard input is raw signed 16-bit little-endian mono\n"
         "  --follow[=SECONDS]   INPUT is a WAV file still being written: follow it until\n"
         "                       it has not grown for SECONDS (5)\n"
         "  --capture[=NAME]     record from the sound card (the default input, or the one\n"
         "                       whose name contains NAME) instead of reading INPUT:\n"
         "                       vivurozed --capture out/ MNOAA19; Ctrl-C ends the pass\n"
         "  --type NAME          decode as NOAA, Meteor, Meteor221, Resurs, Okean, Sich,\n"
         "                       Sich600, OkeanO, OkeanO37, Meteosat, GMS, GOES or WEFAX\n"
         "                       instead of analysing the first 30 seconds first\n"
         "\n"
         "  vivurozed --help | --version\n";
}

}  // namespace vivurozed
