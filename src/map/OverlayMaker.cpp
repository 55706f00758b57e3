#include "map/OverlayMaker.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "map/Overlay.h"
#include "map/ekCartography.h"
#include "map/ekMapping.h"
#include "platform/FileReplace.h"
#include "platform/FileTimes.h"
#include "platform/UserMessages.h"

namespace vivurozed {

namespace {

constexpr double kSecond = 1.0 / 86400.0;
constexpr double kLineDays = 0.5 * kSecond;

// Satellites named in recordings' file names, in the order they are tried.
constexpr const char* kNamedSatellites[][2] = {
    {"NOAA10", "NOAA-10"}, {"NOAA12", "NOAA-12"}, {"NOAA14", "NOAA-14"}, {"NOAA15", "NOAA-15"},
    {"NOAA16", "NOAA-16"}, {"NOAA17", "NOAA-17"}, {"NOAA18", "NOAA-18"}, {"NOAA19", "NOAA-19"}};
// The prediction's candidates after "NOAA-17", in the order they may replace it.
constexpr const char* kCandidates[] = {"NOAA-15", "NOAA-12", "NOAA-14", "NOAA-10",
                                       "NOAA-16", "NOAA-18", "NOAA-19"};

// The prediction tries satellites the user may have no elements for: their
// messages go to the log instead of one box each.
class TLoggedMessages : public TUserMessages {
 public:
  explicit TLoggedMessages(TDiagnostics& log) : log_(log), previous_(SetUserMessages(this)) {}
  ~TLoggedMessages() override { SetUserMessages(previous_); }
  TLoggedMessages(const TLoggedMessages&) = delete;
  TLoggedMessages& operator=(const TLoggedMessages&) = delete;
  void Show(const std::string& text, const std::string&) override { Log(text); }
  TMessageAnswer AskYesNo(const std::string& text, const std::string&,
                          TMessageAnswer safe) override {
    Log(text);
    return safe;
  }
  TMessageAnswer AskYesNoCancel(const std::string& text, const std::string&,
                                TMessageAnswer safe) override {
    Log(text);
    return safe;
  }

 private:
  void Log(std::string text) {
    std::replace(text.begin(), text.end(), '\r', ' ');
    std::replace(text.begin(), text.end(), '\n', ' ');
    log_.Add("  " + text);
  }
  TDiagnostics& log_;
  TUserMessages* previous_;
};

int DaysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return days[month - 1] + (month == 2 && leap ? 1 : 0);
}

// MMDDhhmm at the start of a file name, in the year of `near` (or the year
// before when that puts it more than a day after `near`).
bool TimeFromName(const std::string& name, TDateTime near, TDateTime& result) {
  if (name.size() < 8) return false;
  int v[4];
  for (int i = 0; i < 4; ++i) {
    const char a = name[std::size_t(2 * i)], b = name[std::size_t(2 * i + 1)];
    if (!std::isdigit(static_cast<unsigned char>(a)) ||
        !std::isdigit(static_cast<unsigned char>(b)))
      return false;
    v[i] = (a - '0') * 10 + (b - '0');
  }
  const int month = v[0], day = v[1], hour = v[2], minute = v[3];
  if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59) return false;
  int year = DecodeDateTime(near).year;
  for (int attempt = 0; attempt < 2; ++attempt, --year) {
    if (day > DaysInMonth(year, month)) continue;
    const TDateTime t = EncodeDateTime(year, month, day, hour, minute, 0, 0);
    if (t - near <= 1.0 || attempt == 1) {
      result = t;
      return true;
    }
  }
  return false;
}

std::string WithoutSeparators(const std::string& s) {
  std::string out;
  for (char c : s)
    if (c != ' ' && c != '-' && c != '_') out += c;
  return out;
}

}  // namespace

TOverlayMaker::TOverlayMaker(TDiagnostics& log, TOverlayMakerSettings settings)
    : log_(log), settings_(std::move(settings)), coastlines_(std::make_unique<TCartogList>()) {
  orbit_.SetKeplerFolder(settings_.keplerFolder);
  orbit_.SetTwoLineDataPath(settings_.twoLineDataPath);
}

TOverlayMaker::~TOverlayMaker() = default;

void TOverlayMaker::SetHome(double latitude, double longitude) {
  settings_.homeLatitude = latitude;
  settings_.homeLongitude = longitude;
}

void TOverlayMaker::SetKeplerFolder(const std::string& folder) {
  settings_.keplerFolder = folder;
  orbit_.SetKeplerFolder(folder);
}

void TOverlayMaker::SetTwoLineDataPath(const std::string& folder) {
  settings_.twoLineDataPath = folder;
  orbit_.SetTwoLineDataPath(folder);
}

bool TOverlayMaker::Look(TDateTime t, TLookAnglesResult& result) {
  if (!orbit_.Valid()) return false;
  constexpr double kRadian = M_PI / 180.0;
  TObserver home{settings_.homeLatitude * kRadian, settings_.homeLongitude * kRadian, 0, 0};
  TSatelliteLook look;
  orbit_.LookAngles(home, 0.0, JulianDateOf(t), look);
  result = {look.azimuth / kRadian, look.elevation / kRadian, look.rangeRate, look.southbound};
  return true;
}

double TOverlayMaker::ElevationAt(const std::string& satellite, TDateTime t) {
  orbit_.SetSatelliteName(satellite);
  orbit_.LoadForTime(t);
  TLookAnglesResult look;
  return Look(t, look) ? look.elevation : -90.0;
}

bool TOverlayMaker::ClosestApproach(TDateTime from, TDateTime& when, double& elevation,
                                    bool& southBound) {
  // The range rate turns from closing to opening at the closest approach.
  // Newton's steps from a flat stretch of it can land a pass away, so the
  // turn is bracketed first: the one nearest `from` within 20 minutes.
  TLookAnglesResult look;
  if (!Look(from, look)) return false;
  auto rate = [&](TDateTime t) {
    TLookAnglesResult l;
    Look(t, l);
    return l.rangeRate;
  };
  constexpr double kStep = 30 * kSecond;
  TDateTime best = from;
  double bestDistance = 1e9;
  bool found = false;
  double previous = rate(from - 40 * kStep);
  for (int i = -39; i <= 40; ++i) {
    const TDateTime t = from + i * kStep;
    const double r = rate(t);
    if (previous < 0 && r >= 0 && std::fabs(i - 0.5) < bestDistance) {
      bestDistance = std::fabs(i - 0.5);
      best = t;
      found = true;
    }
    previous = r;
  }
  if (found) {
    TDateTime lo = best - kStep, hi = best;
    for (int i = 0; i < 20; ++i) {  // to a few milliseconds
      const TDateTime mid = (lo + hi) / 2;
      (rate(mid) < 0 ? lo : hi) = mid;
    }
    best = (lo + hi) / 2;
  }
  Look(best, look);
  when = best;
  elevation = look.elevation;
  southBound = look.southBound;
  return true;
}

TDateTime TOverlayMaker::ElevationCrossing(TDateTime from, double threshold, bool forward) {
  TDateTime t = from;
  for (int i = 0; i < 11; ++i) {
    TLookAnglesResult look;
    if (!Look(t, look)) break;
    const double e = look.elevation;
    if (std::fabs(e - threshold) < 0.3) break;
    const double dt = (e - threshold) / 4.0 / 1440.0;  // a minute for every 4 degrees
    t += forward ? dt : -dt;
  }
  return t;
}

bool TOverlayMaker::DecodeFilename(const std::filesystem::path& fileName, int durationSeconds,
                                   const std::string& satellite, TDateTime start,
                                   TPassPrediction& pass) {
  std::error_code ec;
  if (!std::filesystem::exists(fileName, ec)) return false;
  const double duration = durationSeconds * kSecond;
  const bool derive = start == 0;
  TDateTime created = 0, modifiedLess = 0, fromName = 0;
  if (derive) {
    if (const auto times = GetFileTimes(fileName)) {
      created = UnixToDateTime(times->created);
      modifiedLess = UnixToDateTime(times->modified) - duration;
      start = std::min(created, modifiedLess);
    }
    if (TimeFromName(fileName.filename().string(), start, fromName)) {
      if (settings_.namesInLocalTime) fromName -= settings_.timeZoneMinutes / 1440.0;
      start = fromName;
    }
  }
  const TDateTime quarter = start + duration / 4;

  pass = TPassPrediction{};
  pass.satellite = satellite;
  if (pass.satellite.empty()) {
    // Any case: recordings are often named in lower case.
    std::string path = WithoutSeparators(fileName.string());
    for (char& ch : path) ch = char(std::toupper(static_cast<unsigned char>(ch)));
    for (const auto& [text, name] : kNamedSatellites)
      if (path.find(text) != std::string::npos) pass.satellite = name;
  }
  if (pass.satellite.empty()) {
    TLoggedMessages quiet(log_);
    pass.satellite = "NOAA-17";
    double best = ElevationAt(pass.satellite, quarter);
    for (const char* candidate : kCandidates) {
      if (settings_.activeSatellites.find(candidate) == std::string::npos) continue;
      const double e = ElevationAt(candidate, quarter);
      if (e > best) {
        best = e;
        pass.satellite = candidate;
      }
    }
  }

  orbit_.SetSatelliteName(pass.satellite);
  orbit_.LoadForTime(quarter);
  pass.start = start;
  ClosestApproach(quarter, pass.mid, pass.maxElevation, pass.southBound);
  if (derive) {
    pass.aos =
        ElevationCrossing(start, pass.southBound ? settings_.aosSouth : settings_.aosNorth, false);
    pass.end = ElevationCrossing(start + duration / 2, 0.0, true);
  } else {
    pass.aos = start;
    pass.end = start + duration / 2;
  }
  pass.aboveHorizon = orbit_.Valid() && pass.maxElevation > 5.0;

  const char* f = "yyyy-mm-dd hh:nn:ss";
  log_.Add("From DecodeFilename routine:");
  log_.Add("  Created: " + FormatDateTime(f, created));
  log_.Add("  Modified - duration: " + FormatDateTime(f, modifiedLess));
  log_.Add("  From name: " + FormatDateTime(f, fromName));
  log_.Add("  File start: " + FormatDateTime(f, start));
  log_.Add("  Mid pass: " + FormatDateTime(f, pass.mid));
  log_.Add("  Pass AOS: " + FormatDateTime(f, pass.aos));
  log_.Add("  Pass end: " + FormatDateTime(f, pass.end));
  log_.Add("  Predicted satellite: " + pass.satellite);
  return pass.aboveHorizon;
}

bool TOverlayMaker::MakeOverlay(const std::string& satellite, int minutes, TDateTime start) {
  overlay_ = TExtBitmap(0, 0, pf8bit);
  earthPoints_.clear();
  lookAngles_.clear();
  satellite_ = satellite;
  start_ = start;
  orbit_.SetSatelliteName(satellite);
  orbit_.LoadForTime(start);
  log_.Add(satellite + " starting overlay at " + FormatDateTime("yyyy-mm-dd hh:nn:ss", start) +
           " UTC");
  std::string from = "  Kepler data from: " + orbit_.KeplerFileName();
  if (!orbit_.UpdatesFileName().empty()) from += "/" + orbit_.UpdatesFileName();
  log_.Add(from);
  log_.Add(Format("  Keplers are %.f days offset", std::fabs(orbit_.KeplersOffset())));
  if (!orbit_.Valid()) {
    UserMessages().Show("Invalid orbit data", "");
    return false;
  }

  const int lines = std::max(0, minutes) * 120;
  if (lines < 3) return false;
  earthPoints_.resize(std::size_t(lines));
  lookAngles_.resize(std::size_t(lines));
  double heights = 0;
  for (int i = 0; i < lines; ++i) {
    const TDateTime t = start + i * kLineDays;
    double height = 0;
    orbit_.ScanLineEarthPoints(t, height, earthPoints_[std::size_t(i)]);
    heights += height;
    TLookAnglesResult look;
    Look(t, look);
    lookAngles_[std::size_t(i)] = {t, float(look.azimuth), float(look.elevation)};
  }
  meanHeight_ = heights / lines;
  const int half = lines / 2;
  northbound_ = earthPoints_[std::size_t(half - 1)][25].latitude <
                earthPoints_[std::size_t(half + 1)][25].latitude;

  FitMapToImage(earthPoints_, log_, residuals_, mapping_, TWarpedMapping::wmApt, 55.37,
                meanHeight_);
  Draw(lines);
  DrawMinuteTicks();
  return true;
}

void TOverlayMaker::Draw(int lines) {
  // The channel's drawing, later copied into the wider overlay.
  TExtBitmap channel(kChannelWidth, lines, pf8bit);
  channel.SetPalette(OverlayPalette());
  for (int y = 0; y < lines; ++y)
    std::memset(channel.ScanLine(y), ocSea, std::size_t(kChannelWidth));
  mapping_.SetHeight(lines);
  const TColour yellow{255, 255, 0}, red{255, 0, 0}, cyan{0, 255, 255};
  double homeX = -1, homeY = -1;
  {
    auto canvas = MakeBitmapCanvas(channel);
    mapping_.DrawGrid(*canvas, 15, red, yellow, 15);
    if (coastlines_->Count() == 0) coastlines_->LoadCountries(log_);
    coastlines_->SetMapping(&mapping_);
    canvas->SetPenColour(yellow);
    canvas->SetPenWidth(1);
    coastlines_->Draw(*canvas, 0, 0);
    canvas->SetFont("Arial", 8, true);
    const char marker = settings_.marker;
    if (!northbound_) {
      coastlines_->DrawMarker(*canvas, 0, false, settings_.homeCaption, marker, cyan,
                              settings_.homeLatitude, settings_.homeLongitude, 0);
    } else {
      coastlines_->DrawMarker(*canvas, 0, false, "", marker, cyan, settings_.homeLatitude,
                              settings_.homeLongitude, 0);
      int x = 0, y = 0;
      if (mapping_.Project(float(settings_.homeLatitude), float(settings_.homeLongitude), x, y)) {
        homeX = kChannelWidth - 1 - x;
        homeY = lines - 1 - y;
      }
    }
  }
  if (northbound_ && homeX >= 0 && !settings_.homeCaption.empty()) {
    // Written upright in the turned picture that northbound passes are shown as.
    channel.Rotate();
    {
      auto canvas = MakeBitmapCanvas(channel);
      canvas->SetFont("Arial", 8, true);
      canvas->SetBrushStyle(bsClear);
      canvas->SetFontColour(cyan);
      const int w = canvas->TextWidth(settings_.homeCaption);
      const int h = canvas->TextHeight(settings_.homeCaption);
      canvas->TextOut(int(homeX) - w / 2, int(homeY) + h, settings_.homeCaption);
    }
    channel.Rotate();
  }
  overlay_ = TExtBitmap(kWidth, lines, pf8bit);
  overlay_.SetPalette(OverlayPalette());
  for (int y = 0; y < lines; ++y)
    std::memcpy(overlay_.ScanLine(y) + kChannelColumn, channel.ScanLine(y),
                std::size_t(kChannelWidth));
}

void TOverlayMaker::DrawMinuteTicks() {
  for (int i = 0; i < overlay_.Height(); ++i) {
    const TDateTime t = start_ + i * kLineDays;
    const int s = DecodeDateTime(t).second;
    const std::uint8_t code = s == 0 ? ocBlack : s == 1 ? ocWhite : ocGrey;
    std::uint8_t* row = overlay_.ScanLine(i);
    std::memset(row, code, std::size_t(kChannelColumn));
    std::memset(row + kChannelColumn + kChannelWidth, code,
                std::size_t(kWidth - kChannelColumn - kChannelWidth));
  }
}

bool TOverlayMaker::GetLatLon(int x, int y, double& latitude, double& longitude) const {
  if (earthPoints_.empty() || y < 0 || y >= LineCount()) return false;
  const int column = x - kChannelColumn;
  if (column < 0 || column >= kChannelWidth) return false;
  const double a = AptPixelSampleOffset(column - TWarpedMapping::kAptHalfWidth);
  const double f = (a + 1000.0) / 40.0;
  if (f < 0 || f > 50.01) return false;
  const int j = std::min(int(f), 50);
  const TLocationRecord& line = earthPoints_[std::size_t(y)];
  if (j == 50) {
    if (!IsEarthPoint(line[50])) return false;
    latitude = line[50].latitude;
    longitude = line[50].longitude;
    return true;
  }
  const double t = f - j;
  const TLatLonPoint& p = line[std::size_t(j)];
  const TLatLonPoint& q = line[std::size_t(j + 1)];
  if (!IsEarthPoint(p) || !IsEarthPoint(q)) return false;
  latitude = p.latitude + t * (q.latitude - p.latitude);
  // Across the date line the shorter way round.
  double dl = q.longitude - p.longitude;
  if (dl > 180) dl -= 360;
  if (dl < -180) dl += 360;
  longitude = p.longitude + t * dl;
  if (longitude > 180) longitude -= 360;
  if (longitude <= -180) longitude += 360;
  return true;
}

bool TOverlayMaker::SaveLocationData(const std::filesystem::path& fileName, int first, int count) {
  if (earthPoints_.empty()) return false;
  orbit_.SetSatelliteName(satellite_);
  orbit_.LoadForTime(start_);
  if (!orbit_.Valid()) {
    UserMessages().Show("Invalid orbit data", "");
    return false;
  }
  // Scanner offset of every picture column of the channel.
  std::vector<double> table(static_cast<std::size_t>(kChannelWidth));
  for (int c = 0; c < kChannelWidth; ++c)
    table[std::size_t(c)] = AptPixelSampleOffset(c - TWarpedMapping::kAptHalfWidth);
  if (count < 0) count = LineCount() - first;
  std::vector<float> data;
  data.reserve(std::size_t(std::max(count, 0)) * 102);
  for (int i = first; i < first + count; ++i) {
    double height = 0;
    TLocationRecord points;
    orbit_.ScanLineEarthPointsAt(table, start_ + i * kLineDays, height, points);
    for (const auto& p : points) {
      data.push_back(p.latitude);
      data.push_back(p.longitude);
    }
  }
  std::string error;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
  if (!ReplaceFileContents(fileName, std::span(bytes, data.size() * sizeof(float)), &error))
    throw std::runtime_error(error);
  return true;
}

std::vector<std::string> NoaaSatelliteNames() {
  std::vector<std::string> names;
  for (const auto& [text, name] : kNamedSatellites) names.push_back(name);
  return names;
}

std::string ComposeTextLine(int mask, const std::string& satellite, int timeZoneMinutes,
                            int fieldSpacing, const std::string& userText,
                            const std::string& location, double elevation, bool northbound,
                            const std::string& dateFormat, TDateTime aos, TDateTime mid,
                            TDateTime los) {
  const std::string gap(std::size_t(std::clamp(fieldSpacing, 2, 25)), ' ');
  std::string line;
  auto add = [&](const std::string& field) {
    if (!line.empty()) line += gap;
    line += field;
  };
  if (mask & tfName) add(satellite);
  if (mask & tfDate) add(FormatDateTime(dateFormat.empty() ? "yyyy mmm dd" : dateFormat, aos));
  if (mask & tfAt) add("at");
  std::string time;
  if (mask & tfPassTime) time = FormatDateTime("hh:nn-", aos) + FormatDateTime("hh:nn  ", los);
  if (mask & tfMidPass) time = FormatDateTime("hh:nn  ", mid);
  if (mask & tfUtc) {
    time += "UTC";
  } else if (mask & tfLocal) {
    time += timeZoneMinutes > 0 ? "local [UTC +" : "local [UTC -";
    const int m = std::abs(timeZoneMinutes);
    time += Format("%02d:%02d]", m / 60, m % 60);
  }
  add(time);
  if (mask & tfDirection) add(northbound ? "North" : "South");
  if (mask & tfElevation) add(Format("%.0f\xC2\xBA", elevation));
  if (mask & tfUserText) add(userText);
  if (mask & tfLocation) add(location);
  const auto begin = line.find_first_not_of(' ');
  if (begin == std::string::npos) return "";
  return line.substr(begin, line.find_last_not_of(' ') - begin + 1);
}

}  // namespace vivurozed
