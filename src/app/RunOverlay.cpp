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

// "0,0,0,0,0": the value of one calibration model (1 ... 5), the fallback
// when absent or unreadable.
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

// The list with one model's value replaced; models past its end (NOAA 18
// and 19) lengthen it with the fallback.
std::string WithModelValue(const std::string& list, int model, int value, int fallback) {
  const int count = std::max(5, model);
  std::string out;
  for (int i = 1; i <= count; ++i) {
    if (i > 1) out += ',';
    out += std::to_string(i == model ? value : ModelValue(list, i, fallback));
  }
  return out;
}

int ClampedModel(int model) {
  return std::clamp(model, 1, 7);  // an unknown sensor takes the first model's
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

TOverlayAppearance AppearanceFromSettings(const TMainSettings& s) {
  TOverlayAppearance a;
  a.font.name = s.OvlFontName.Value();
  a.font.size = s.OvlFontSize.Value();
  a.font.style = s.OvlFontStyle.Value();
  a.fontColour = s.OvlFontColour.Value();
  a.bandColour = s.OvlFontBackground.Value();
  a.textLocation = std::clamp(s.OvlTextLocation.Value(), 0, 6);
  a.separateBand = s.OvlTextWithBorder.Value();
  a.grid = s.OvlGrid.Value();
  a.boundary = s.OvlBoundary.Value();
  a.graphic = s.OvlGraphic.Value();
  a.gridColour = s.OvlGridColour.Value();
  a.boundaryColour = s.OvlBoundaryColour.Value();
  a.graphicColour = s.OvlGraphicColour.Value();
  a.soft = s.OvlSoft.Value();
  a.tempCal = s.OvlTempCal.Value();
  a.scale = s.OvlScale.Value();
  a.onIr = s.OvlOnIr.Value();
  a.land = s.CtLandCol.Value();
  a.sea = s.CtSeaCol.Value();
  a.rebasedLand = s.Ct2LandCol.Value();
  a.rebasedSea = s.Ct2SeaCol.Value();
  return a;
}

void StoreAppearance(const TOverlayAppearance& a, TMainSettings& s) {
  s.OvlFontName.SetValue(a.font.name);
  s.OvlFontSize.SetValue(a.font.size);
  s.OvlFontStyle.SetValue(a.font.style);
  s.OvlFontColour.SetValue(a.fontColour);
  s.OvlFontBackground.SetValue(a.bandColour);
  s.OvlTextLocation.SetValue(a.textLocation);
  s.OvlTextWithBorder.SetValue(a.separateBand);
  s.OvlGrid.SetValue(a.grid);
  s.OvlBoundary.SetValue(a.boundary);
  s.OvlGraphic.SetValue(a.graphic);
  s.OvlGridColour.SetValue(a.gridColour);
  s.OvlBoundaryColour.SetValue(a.boundaryColour);
  s.OvlGraphicColour.SetValue(a.graphicColour);
  s.OvlSoft.SetValue(a.soft);
  s.OvlTempCal.SetValue(a.tempCal);
  s.OvlScale.SetValue(a.scale);
  s.OvlOnIr.SetValue(a.onIr);
  s.CtLandCol.SetValue(a.land);
  s.CtSeaCol.SetValue(a.sea);
  s.Ct2LandCol.SetValue(a.rebasedLand);
  s.Ct2SeaCol.SetValue(a.rebasedSea);
}

TOverlayOptions OverlayOptionsOf(const TOverlayAppearance& a) {
  TOverlayOptions o;
  if (a.grid) o.grid = ColourFromStored(a.gridColour);
  if (a.boundary) o.boundary = ColourFromStored(a.boundaryColour);
  if (a.graphic) o.graphic = ColourFromStored(a.graphicColour);
  o.soft = a.soft;
  o.scale = a.scale;
  o.textLocation = a.textLocation;
  o.font = a.font;
  o.fontColour = ColourFromStored(a.fontColour);
  o.separateBand = a.separateBand;
  o.bandColour = ColourFromStored(a.bandColour);
  o.land = ColourFromStored(a.land);
  o.sea = ColourFromStored(a.sea);
  o.metric = LocaleIsMetric();
  return o;
}

TOverlayAppearance FactoryCloudTopColours(TOverlayAppearance a) {
  a.land = StoredColour(140, 140, 140);
  a.sea = StoredColour(0, 0, 128);
  a.rebasedLand = StoredColour(0, 184, 0);
  a.rebasedSea = StoredColour(0, 184, 184);
  return a;
}

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
  firstLine_ = shownLines_ = 0;
  startFromUser_ = false;
  placements_ = {};
  userCaption_.clear();
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

bool TRunOverlay::IdentifyPass(const std::string& fileName, double durationSeconds) {
  Reset();
  fileName_ = fileName;
  duration_ = durationSeconds;
  maker_ = std::make_shared<TOverlayMaker>(log_, MakerSettings());
  TPassPrediction pass;
  bool above = false;
  try {
    above = maker_->DecodeFilename(fileName, int(durationSeconds), "", request_.start.value_or(0),
                                   pass);
    if (onConfirmPass_ && settings_.ConfirmPass.Value() && !request_.batch)
      ConfirmPass(fileName, durationSeconds, pass, above);
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

void TRunOverlay::ConfirmPass(const std::string& fileName, double durationSeconds,
                              TPassPrediction& pass, bool& above) {
  TPassPrediction confirmed = pass;
  if (!onConfirmPass_(confirmed)) {
    log_.Add("Pass confirmation cancelled: the prediction stands");
    return;
  }
  const bool moved = std::fabs(confirmed.start - pass.start) > 0.5 * kSecond;
  if (confirmed.satellite != pass.satellite || moved) {
    // The orbit, the mid-pass and its elevation of the satellite and the
    // time the user gave.
    TPassPrediction redone;
    above = maker_->DecodeFilename(fileName, int(durationSeconds), confirmed.satellite,
                                   confirmed.start, redone);
    redone.end = confirmed.start + (pass.end - pass.start);
    redone.southBound = confirmed.southBound;
    confirmed = redone;
  }
  startFromUser_ = moved;
  const bool changed =
      confirmed.satellite != pass.satellite || moved || confirmed.southBound != pass.southBound;
  pass = confirmed;
  log_.Add(Format("Pass %s: %s, start %s UTC, %s", changed ? "changed by the user" : "confirmed",
                  pass.satellite.c_str(), FormatDateTime("yyyy-mm-dd hh:nn:ss", pass.start).c_str(),
                  pass.southBound ? "southbound" : "northbound"));
}

bool TRunOverlay::Make(int lines, double firstLineSeconds) {
  if (!maker_ || !pass_ || lines < 60) return false;
  // The name holds whole minutes only: file times that agree with it give
  // the seconds.
  TDateTime start = pass_->start;
  if (const auto times = GetFileTimes(fileName_); times && !request_.start && !startFromUser_) {
    const TDateTime fromFile = std::min(UnixToDateTime(times->created),
                                        UnixToDateTime(times->modified) - duration_ * kSecond);
    if (fromFile >= start && fromFile < start + 60 * kSecond) {
      start = fromFile;
    } else {
      log_.Add(
          "Overlay: the recording's file times do not match the minute in its name, so "
          "the overlay may lie up to a minute of lines off; --start gives the exact time");
    }
  }
  lineZero_ = start + firstLineSeconds * kSecond;
  pictureLines_ = lines;
  // A minute of overlay either side of the picture, for nudging it.
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
  // A caption of a few short lines: anything longer is not a caption.
  for (std::string line; companionText_.size() < 10 && std::getline(text, line);) {
    if (line.size() > 200) line.resize(200);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) companionText_.push_back(line);
  }
  return true;
}

std::vector<std::string> TRunOverlay::CaptionLines() const {
  return userCaption_.empty() ? AutomaticCaptionLines() : userCaption_;
}

std::vector<std::string> TRunOverlay::AutomaticCaptionLines() const {
  return companionText_.empty() ? ComposedLines() : companionText_;
}

std::vector<std::string> TRunOverlay::ComposedLines() const {
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
  // Local times on any line: a first line without times may still carry them.
  if ((masks[0] | masks[1] | masks[2]) & tfLocal) {
    aos += zone / 1440.0, mid += zone / 1440.0, los += zone / 1440.0;
  }
  for (int mask : masks) {
    const std::string line =
        ComposeTextLine(mask, pass_->satellite, zone, settings_.OverlayFieldSpacing.Value(),
                        settings_.OverlayUserText.Value(), zevuvid.location, pass_->maxElevation,
                        !pass_->southBound, format, aos, mid, los);
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

TOverlayOptions TRunOverlay::RenderOptions(bool rotated, bool largeImage, bool cropBorders,
                                           const TExtBitmap* lookup, bool cloudTop) const {
  TOverlayAppearance a = AppearanceFromSettings(settings_);
  if (request_.batch) {
    // An unattended run draws the elements its "O" letters name.
    const std::string& e = request_.batchElements;
    auto has = [&](char c) { return e.find(c) != std::string::npos; };
    a.graphic = has('A'), a.boundary = has('B'), a.tempCal = has('C'), a.scale = has('D');
    a.grid = has('G'), a.soft = has('S');
    if (!has('T'))
      a.textLocation = 0;
    else if (a.textLocation == 0)
      a.textLocation = 1;
  }
  TOverlayOptions o = OverlayOptionsOf(a);
  o.lookup = a.tempCal ? lookup : nullptr;
  if (a.textLocation > 0) o.caption = CaptionLines();
  o.cloudTop = cloudTop;
  o.largeImage = largeImage;
  o.cropBorders = cropBorders;
  o.rotate180 = rotated;
  o.log = &log_;
  return o;
}

TOverlayNudge TRunOverlay::Nudge(int model) const {
  model = ClampedModel(model);
  return {ModelValue(settings_.OvlLineOfs.Value(), model, 0),
          ModelValue(settings_.OvlPixOfs.Value(), model, 4)};
}

void TRunOverlay::SetNudge(int model, const TOverlayNudge& nudge) {
  model = ClampedModel(model);
  settings_.OvlLineOfs.SetValue(
      WithModelValue(settings_.OvlLineOfs.Value(), model, nudge.lines, 0));
  settings_.OvlPixOfs.SetValue(WithModelValue(settings_.OvlPixOfs.Value(), model, nudge.pixels, 4));
}

TOverlayPlacement TRunOverlay::PlacementFor(int pictureWidth, const TExtBitmap& overlay,
                                            bool turned, const TOverlayNudge& nudge) const {
  TOverlayPlacement p;
  // A large picture's overlay is scaled by 1.5 unless it came that size.
  p.scaled =
      overlay.Width() == TOverlayMaker::kWidth &&
      (pictureWidth == 3 * TOverlayMaker::kWidth / 2 || pictureWidth == 3 * TOverlayMaker::kWidth);
  // A picture whose noisy first lines were cut begins that much later. The
  // user's shift counts decoded lines and 1040-column pixels, so that one
  // shift fits every picture.
  const int lines = lineOffset_ + firstLine_ + nudge.lines, pixels = nudge.pixels - 4;
  p.lineOffset = p.scaled ? lines * 3 / 2 : lines;
  p.pixelOffset = p.scaled ? pixels * 3 / 2 : pixels;
  p.turned = turned;
  return p;
}

namespace {

// The overlay at the size of a picture's channel, once for each channel.
TExtBitmap Fitted(const TExtBitmap& overlay, int pictureWidth, bool scaled) {
  TExtBitmap fitted =
      scaled ? Scaled(overlay, overlay.Width() * 3 / 2, overlay.Height() * 3 / 2) : overlay;
  if (pictureWidth == 2 * fitted.Width()) fitted = Doubled(fitted);
  return fitted;
}

}  // namespace

void TRunOverlay::Render(TRunPictures& pictures, int markerPhase, bool rotated, bool largeImage,
                         bool cropBorders, int sensorModel, const TExtBitmap* lookup, bool cloudTop,
                         int firstLine, int lines) {
  placements_ = {};
  firstLine_ = firstLine;
  shownLines_ = lines;
  sensorModel_ = sensorModel;
  rotated_ = rotated;
  largeImage_ = largeImage;
  cropBorders_ = cropBorders;
  lookup_ = lookup;
  cloudTop_ = cloudTop;
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
  const TOverlayNudge nudge = Nudge(sensorModel);
  const TExtBitmap* shown[] = {&pictures.main, &pictures.channelA, &pictures.channelB,
                               &pictures.falseColour};
  for (int tab = ptMain; tab <= ptFalseColour; ++tab)
    placements_[std::size_t(tab)] =
        PlacementFor(shown[tab]->Width(), overlay, tab != ptMain && rotated, nudge);

  const TOverlayOptions o = RenderOptions(false, largeImage, cropBorders, lookup, cloudTop);
  if (!o.grid && !o.boundary && !o.graphic && o.textLocation == 0 && !o.lookup && !o.scale) {
    log_.Add("Overlay: no overlay element is chosen; the pictures are saved without one");
    return;
  }
  auto render = [&](const TExtBitmap& picture, TPictureTab tab, TExtBitmap& out) {
    if (IsEmpty(picture)) return;
    TOverlayPlacement& place = placements_[std::size_t(tab)];
    TExtBitmap fitted = Fitted(overlay, picture.Width(), place.scaled);
    TOverlayOptions options = o;
    options.rotate180 = place.turned;
    options.lineOffset = place.lineOffset;
    options.pixelOffset = place.pixelOffset;
    place.top = RenderOverlay(picture, fitted, out, options);
  };
  render(pictures.main, ptMain, pictures.overlay);
  if (settings_.OvlOnIr.Value()) render(pictures.channelB, ptChannelB, pictures.channelBOverlay);
  render(pictures.falseColour, ptFalseColour, pictures.falseColourOverlay);
}

bool TRunOverlay::Sample(const TRunPictures& pictures, int rows, TOverlaySample& sample) const {
  if (!HasOverlay()) return false;
  const bool colour = !IsEmpty(pictures.falseColour);
  const TExtBitmap& picture = colour ? pictures.falseColour : pictures.main;
  if (IsEmpty(picture)) return false;
  const TOverlayPlacement& place = placements_[std::size_t(colour ? ptFalseColour : ptMain)];
  const int height = std::min(rows, picture.Height());
  const int first = (picture.Height() - height) / 2;
  sample.picture = TExtBitmap(picture.Width(), height, picture.PixelFormat());
  sample.picture.SetPalette(picture.Palette());
  for (int y = 0; y < height; ++y)
    std::copy_n(picture.ScanLine(first + y), picture.RowBytes(), sample.picture.ScanLine(y));
  const TExtBitmap& overlay = companion_.Height() > 0 ? companion_ : maker_->OverlayBitmap();
  sample.overlay = Fitted(overlay, picture.Width(), place.scaled);
  sample.options = RenderOptions(place.turned, largeImage_, cropBorders_, lookup_, cloudTop_);
  sample.options.log = nullptr;
  // A turned picture's rows meet the overlay from its far end.
  sample.options.lineOffset =
      place.lineOffset + (place.turned ? picture.Height() - first - height : first);
  sample.options.pixelOffset = place.pixelOffset;
  return true;
}

bool TRunOverlay::SaveLocationData(const std::string& fileName) {
  if (!maker_ || maker_->LineCount() == 0 || pictureLines_ <= 0) return false;
  // The user's shift moves the lines' places as it moves the drawing.
  const int first = lineOffset_ + firstLine_ + Nudge(sensorModel_).lines;
  const int count = shownLines_ > 0 ? shownLines_ : pictureLines_;
  bool ok = false;
  try {
    ok = maker_->SaveLocationData(fileName, first, count);
  } catch (const std::exception& e) {
    log_.Add(std::string("Overlay: ") + e.what());
  }
  log_.Add(ok ? "Location data saved to " + fileName : "Location data not saved to " + fileName);
  return ok;
}

bool TRunOverlay::SaveOverlayOnly(const std::string& fileName, const TRunPictures& pictures) {
  if (!HasOverlay() || IsEmpty(pictures.falseColour)) return false;
  const TExtBitmap& overlay = companion_.Height() > 0 ? companion_ : maker_->OverlayBitmap();
  const int width = pictures.falseColour.Width();
  const TExtBitmap black(width, pictures.falseColour.Height(), pf24bit);
  // Drawn as over the false colour, so that the two can be laid together.
  const TOverlayPlacement place = PlacementFor(width, overlay, rotated_, Nudge(sensorModel_));
  TExtBitmap fitted = Fitted(overlay, width, place.scaled), out;
  TOverlayOptions o = RenderOptions(rotated_, largeImage_, false, nullptr, false);
  o.lineOffset = place.lineOffset;
  o.pixelOffset = place.pixelOffset;
  RenderOverlay(black, fitted, out, o);
  try {
    SaveBitmapAsBMP(out, fileName);
  } catch (const std::exception& e) {
    log_.Add(std::string("Overlay not saved: ") + e.what());
    return false;
  }
  log_.Add("Overlay saved to " + fileName);
  return true;
}

}  // namespace vivurozed
