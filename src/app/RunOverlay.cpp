#include "app/RunOverlay.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/ZevuvidInfo.h"
#include "image/PngImage.h"
#include "map/ekMapping.h"
#include "platform/FileTimes.h"
#include "platform/Folders.h"

namespace vivurozed {

namespace fs = std::filesystem;

namespace {

constexpr double kSecond = 1.0 / 86400.0;
// Elements further than this from the pass put the coastlines tens of
// kilometres off: no overlay is better than a wrong one.
constexpr double kMaxElementAgeDays = 30;

// "0,0,0,0,0": the value of one calibration model (1 ... 5), 0 when absent.
int ModelValue(const std::string& list, int model, int fallback) {
  std::stringstream in(list);
  std::string item;
  for (int i = 1; std::getline(in, item, ','); ++i) {
    if (i != model) continue;
    try {
      return std::stoi(item);
    } catch (const std::exception&) {
      return fallback;
    }
  }
  return fallback;
}

// Nearest neighbour: the overlay's pixels are codes.
TExtBitmap Scaled(const TExtBitmap& overlay, int width, int height) {
  TExtBitmap out(width, height, pf8bit);
  out.SetPalette(overlay.Palette());
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* s = overlay.ScanLine(int(std::int64_t(y) * overlay.Height() / height));
    std::uint8_t* d = out.ScanLine(y);
    for (int x = 0; x < width; ++x) d[x] = s[std::int64_t(x) * overlay.Width() / width];
  }
  return out;
}

// One overlay per channel half of a both-channels picture.
TExtBitmap Doubled(const TExtBitmap& overlay) {
  TExtBitmap out(2 * overlay.Width(), overlay.Height(), pf8bit);
  out.SetPalette(overlay.Palette());
  for (int y = 0; y < overlay.Height(); ++y) {
    std::copy_n(overlay.ScanLine(y), overlay.Width(), out.ScanLine(y));
    std::copy_n(overlay.ScanLine(y), overlay.Width(), out.ScanLine(y) + overlay.Width());
  }
  return out;
}

}  // namespace

TRunOverlay::TRunOverlay(TMainSettings& settings, TDiagnostics& log)
    : settings_(settings), log_(log) {}

TRunOverlay::~TRunOverlay() = default;

void TRunOverlay::Reset() {
  maker_.reset();
  companion_ = TExtBitmap();
  companionText_.clear();
  pass_.reset();
  fileName_.clear();
  pictureLines_ = 0;
  lineOffset_ = 0;
}

bool TRunOverlay::Enabled() const {
  return request_.enable || settings_.ZeveDuruviz.Value();
}

std::string TRunOverlay::ResultsFolder() const {
  return ReadZevuvidInfo().resultsPath;
}

int SystemTimeZoneMinutes() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return static_cast<int>(local.tm_gmtoff / 60);
}

TOverlayMakerSettings TRunOverlay::MakerSettings() const {
  const TZevuvidInfo zevuvid = ReadZevuvidInfo();
  TOverlayMakerSettings s;
  s.activeSatellites = settings_.ActiveSats.Value();
  s.keplerFolder = settings_.KepsFullPath.Value();
  s.twoLineDataPath = settings_.KepsCurrPath.Value();
  if (s.twoLineDataPath.empty()) s.twoLineDataPath = zevuvid.twoLineDataPath;
  if (s.twoLineDataPath.empty()) s.twoLineDataPath = DefaultKeplerFolder().string();
  if (!request_.elements.empty()) {
    std::error_code ec;
    const fs::path p = fs::absolute(request_.elements, ec);
    s.twoLineDataPath = fs::is_directory(p, ec) ? p.string() : p.parent_path().string();
  }
  s.aosNorth = std::clamp(settings_.AOSdegreesN.Value(), 0, 15);
  s.aosSouth = std::clamp(settings_.AOSdegreesS.Value(), 0, 15);
  THomeLocation home;
  if (request_.homeLatitude && request_.homeLongitude) {
    home.latitude = *request_.homeLatitude;
    home.longitude = *request_.homeLongitude;
  } else {
    home = HomeLocation(zevuvid);
  }
  s.homeLatitude = home.latitude;
  s.homeLongitude = home.longitude;
  s.homeCaption = settings_.HomeCaption.Value();
  if (settings_.HomeCaptionAuto.Value() && !home.name.empty()) s.homeCaption = home.name;
  const std::string symbol = settings_.HomeSymbol.Value();
  s.marker = symbol.empty() ? ' ' : symbol[0];
  s.namesInLocalTime = settings_.TimezoneNaming.Value();
  s.timeZoneMinutes = SystemTimeZoneMinutes();
  return s;
}

bool TRunOverlay::IdentifyPass(const std::string& fileName, int durationSeconds) {
  Reset();
  fileName_ = fileName;
  duration_ = durationSeconds;
  maker_ = std::make_unique<TOverlayMaker>(log_, MakerSettings());
  TPassPrediction pass;
  bool above = false;
  try {
    above = maker_->DecodeFilename(fileName, durationSeconds, "", request_.start.value_or(0), pass);
  } catch (const std::exception& e) {
    log_.Add(std::string("Overlay: pass not identified: ") + e.what());
    maker_.reset();
    return false;
  }
  const TOrbit& orbit = maker_->Orbit();
  if (!orbit.Valid()) {
    log_.Add("Overlay: no orbital elements of " + pass.satellite +
             " were found (elements folder: " + maker_->Settings().twoLineDataPath +
             "); the pictures are made without an overlay");
    maker_.reset();
    return false;
  }
  const double age = std::fabs(orbit.KeplersOffset());
  if (age > kMaxElementAgeDays) {
    log_.Add(
        Format("Overlay: the nearest elements of %s are %.0f days from the pass; the "
               "pictures are made without an overlay",
               pass.satellite.c_str(), age));
    maker_.reset();
    return false;
  }
  if (!above) {
    log_.Add(
        Format("Overlay: %s stays below 5 degrees elevation at the home location during "
               "this recording (maximum %.1f degrees); the pictures are made without an "
               "overlay",
               pass.satellite.c_str(), pass.maxElevation));
    maker_.reset();
    return false;
  }
  pass_ = pass;
  log_.Add(Format("Pass: %s, %s, maximum elevation %.0f degrees at %s UTC", pass.satellite.c_str(),
                  pass.southBound ? "southbound" : "northbound", pass.maxElevation,
                  FormatDateTime("hh:nn:ss", pass.mid).c_str()));
  return true;
}

bool TRunOverlay::Make(int lines, double firstLineSeconds) {
  if (!maker_ || !pass_ || lines < 60) return false;
  // The name holds whole minutes only: file times that agree with it give
  // the seconds.
  TDateTime start = pass_->start;
  if (const auto times = GetFileTimes(fileName_); times && !request_.start) {
    const TDateTime fromFile = std::min(UnixToDateTime(times->created),
                                        UnixToDateTime(times->modified) - duration_ * kSecond);
    if (fromFile >= start && fromFile < start + 60 * kSecond) start = fromFile;
  }
  lineZero_ = start + firstLineSeconds * kSecond;
  pictureLines_ = lines;
  // A minute of slack either side of the estimate for the minute markers to
  // settle where line 0 lies.
  const TDateTime overlayStart = lineZero_ - 60 * kSecond;
  const int minutes = lines / 120 + 3;
  if (!maker_->MakeOverlay(pass_->satellite, minutes, overlayStart)) {
    log_.Add("Overlay: not made; the pictures are made without an overlay");
    return false;
  }
  lineOffset_ = 120;
  return true;
}

bool TRunOverlay::HasOverlay() const {
  return (maker_ && maker_->OverlayBitmap().Height() > 0) || companion_.Height() > 0;
}

bool TRunOverlay::LoadCompanionFiles(const std::string& pictureName, bool largeImage) {
  Reset();
  const fs::path base = fs::path(pictureName).replace_extension();
  std::error_code ec;
  fs::path image = base.string() + "ovl.png";
  if (!fs::exists(image, ec)) image = base.string() + "ovl.bmp";
  if (!fs::exists(image, ec)) return false;
  TExtBitmap read;
  try {
    if (image.extension() == ".png") {
      LoadPNGIntoBitmap(read, image, false);
    } else {
      read.LoadFromFile(image);
    }
  } catch (const std::exception& e) {
    log_.Add("Overlay image " + image.string() + " not read: " + e.what());
    return false;
  }
  // Whatever its palette, each colour becomes the code of the nearest one.
  std::vector<TColour> codes;
  for (const auto& e : OverlayPalette()) codes.push_back({e.red, e.green, e.blue});
  companion_ = TExtBitmap(read.Width(), read.Height(), pf8bit);
  companion_.SetPalette(OverlayPalette());
  const bool eight = read.PixelFormat() == pf8bit;
  std::vector<std::uint8_t> map(256, 0);
  if (eight)
    for (std::size_t i = 0; i < read.Palette().size(); ++i) {
      const auto& e = read.Palette()[i];
      map[i] = NearestPaletteIndex(codes, {e.red, e.green, e.blue});
    }
  for (int y = 0; y < read.Height(); ++y) {
    const std::uint8_t* s = read.ScanLine(y);
    std::uint8_t* d = companion_.ScanLine(y);
    for (int x = 0; x < read.Width(); ++x)
      d[x] = eight ? map[s[x]] : NearestPaletteIndex(codes, {s[3 * x + 2], s[3 * x + 1], s[3 * x]});
  }
  log_.Add("Read overlay: " + image.string());
  if (largeImage) {
    const int w = companion_.Width(), h = companion_.Height();
    companion_ = Scaled(companion_, w * 3 / 2, h * 3 / 2);
    log_.Add(Format("Rescale overlay (large image): %d x %d --> %d x %d (W x H)", w, h,
                    companion_.Width(), companion_.Height()));
  }
  log_.Add("Overlay image minute marker at line: " +
           std::to_string(FindMinuteMarkerLine(companion_)));
  std::ifstream text(base.string() + "ovl.txt");
  for (std::string line; std::getline(text, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) companionText_.push_back(line);
  }
  return true;
}

std::vector<std::string> TRunOverlay::CaptionLines() const {
  std::vector<std::string> lines;
  if (!pass_) return lines;
  const TZevuvidInfo zevuvid = ReadZevuvidInfo();
  std::array<int, 3> masks{settings_.OvlTextLine1.Value(), settings_.OvlTextLine2.Value(),
                           settings_.OvlTextLine3.Value()};
  for (std::size_t i = 0; i < 3; ++i)
    if (zevuvid.textLines[i] != 0) masks[i] = zevuvid.textLines[i];
  const std::string format =
      zevuvid.dateFormat.empty() ? settings_.OverlayDateFmt.Value() : zevuvid.dateFormat;
  const int zone = SystemTimeZoneMinutes();
  TDateTime aos = pass_->aos, mid = pass_->mid, los = pass_->end;
  if (masks[0] & tfLocal) {
    aos += zone / 1440.0, mid += zone / 1440.0, los += zone / 1440.0;
  }
  for (int mask : masks) {
    const std::string line = ComposeTextLine(
        mask, pass_->satellite, zone, settings_.OverlayFieldSpacing.Value(), "", zevuvid.location,
        pass_->maxElevation, !pass_->southBound, format, aos, mid, los);
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

TOverlayOptions TRunOverlay::RenderOptions(bool rotated, bool largeImage, bool cropBorders,
                                           const TExtBitmap* lookup, bool cloudTop) const {
  TOverlayOptions o;
  auto colour = [](std::int32_t stored) { return ColourFromStored(stored); };
  bool grid = settings_.OvlGrid.Value(), boundary = settings_.OvlBoundary.Value();
  bool graphic = settings_.OvlGraphic.Value(), strip = settings_.OvlTempCal.Value();
  bool scale = settings_.OvlScale.Value(), soft = settings_.OvlSoft.Value();
  int location = settings_.OvlTextLocation.Value();
  if (request_.batch) {
    // An unattended run draws the elements its "O" letters name.
    const std::string& e = request_.batchElements;
    auto has = [&](char c) { return e.find(c) != std::string::npos; };
    graphic = has('A'), boundary = has('B'), strip = has('C'), scale = has('D');
    grid = has('G'), soft = has('S');
    if (!has('T'))
      location = 0;
    else if (location == 0)
      location = 1;
  }
  if (grid) o.grid = colour(settings_.OvlGridColour.Value());
  if (boundary) o.boundary = colour(settings_.OvlBoundaryColour.Value());
  if (graphic) o.graphic = colour(settings_.OvlGraphicColour.Value());
  o.soft = soft;
  o.scale = scale;
  o.lookup = strip ? lookup : nullptr;
  o.textLocation = location;
  if (location > 0) o.caption = companionText_.empty() ? CaptionLines() : companionText_;
  o.font.name = settings_.OvlFontName.Value();
  o.font.size = settings_.OvlFontSize.Value();
  o.font.style = settings_.OvlFontStyle.Value();
  o.fontColour = colour(settings_.OvlFontColour.Value());
  o.separateBand = settings_.OvlTextWithBorder.Value();
  o.bandColour = colour(settings_.OvlFontBackground.Value());
  o.cloudTop = cloudTop;
  o.land = colour(settings_.CtLandCol.Value());
  o.sea = colour(settings_.CtSeaCol.Value());
  o.largeImage = largeImage;
  o.metric = LocaleIsMetric();
  o.cropBorders = cropBorders;
  o.rotate180 = rotated;
  o.log = &log_;
  return o;
}

void TRunOverlay::Render(TRunPictures& pictures, int markerPhase, bool rotated, bool largeImage,
                         bool cropBorders, int sensorModel, const TExtBitmap* lookup,
                         bool cloudTop) {
  if (!HasOverlay()) return;
  const bool companion = companion_.Height() > 0;
  const TExtBitmap& overlay = companion ? companion_ : maker_->OverlayBitmap();
  if (companion) {
    // The companion's overlay meets the picture where their minute markers do.
    int shift = (FindMinuteMarkerLine(overlay) + 1 - markerPhase) % 120;
    if (shift > 60) shift -= 120;
    if (shift <= -60) shift += 120;
    lineOffset_ = shift;
  }
  // Our own overlay keeps the time the recording's times give picture line
  // 0. The satellites' minute markers are no help there: their clocks run
  // seconds off UTC (NOAA 15 by about 14 s in August 2019).
  const int model = std::clamp(sensorModel, 1, 7);  // models past the stored list take the defaults
  TOverlayOptions o = RenderOptions(false, false, cropBorders, lookup, cloudTop);
  o.lineOffset = lineOffset_ + ModelValue(settings_.OvlLineOfs.Value(), model, 0);
  o.pixelOffset = ModelValue(settings_.OvlPixOfs.Value(), model, 4) - 4;
  if (!o.grid && !o.boundary && !o.graphic && o.textLocation == 0 && !o.lookup && !o.scale) {
    log_.Add("Overlay: no overlay element is chosen; the pictures are saved without one");
    return;
  }

  auto render = [&](const TExtBitmap& picture, bool turned, TExtBitmap& out) {
    if (IsEmpty(picture)) return;
    TExtBitmap fitted = overlay;
    TOverlayOptions options = o;
    options.rotate180 = turned;
    options.largeImage = largeImage;
    if (picture.Width() == 2 * TOverlayMaker::kWidth) {
      fitted = Doubled(overlay);
    } else if (picture.Width() == 3 * TOverlayMaker::kWidth / 2) {
      fitted = Scaled(overlay, picture.Width(), overlay.Height() * 3 / 2);
      options.lineOffset = options.lineOffset * 3 / 2;
    }
    RenderOverlay(picture, fitted, out, options);
  };
  render(pictures.main, false, pictures.overlay);
  if (settings_.OvlOnIr.Value()) render(pictures.channelB, rotated, pictures.channelBOverlay);
  render(pictures.falseColour, rotated, pictures.falseColourOverlay);
}

bool TRunOverlay::SaveLocationData(const std::string& fileName) {
  if (!HasOverlay() || pictureLines_ <= 0) return false;
  bool ok = false;
  try {
    ok = maker_->SaveLocationData(fileName, lineOffset_, pictureLines_);
  } catch (const std::exception& e) {
    log_.Add(std::string("Overlay: ") + e.what());
  }
  log_.Add(ok ? "Location data saved to " + fileName : "Location data not saved to " + fileName);
  return ok;
}

bool TRunOverlay::SaveOverlayOnly(const std::string& fileName, const TRunPictures& pictures) {
  if (!HasOverlay() || IsEmpty(pictures.falseColour)) return false;
  const TExtBitmap black(pictures.falseColour.Width(), pictures.falseColour.Height(), pf24bit);
  TExtBitmap fitted = maker_->OverlayBitmap(), out;
  TOverlayOptions o = RenderOptions(false, false, false, nullptr, false);
  o.lineOffset = lineOffset_;
  RenderOverlay(black, fitted, out, o);
  try {
    SaveBitmapAsBMP(out, fileName);
  } catch (const std::exception& e) {
    log_.Add(std::string("Overlay not saved: ") + e.what());
    return false;
  }
  return true;
}

}  // namespace vivurozed
