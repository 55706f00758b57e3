#include "noaa/FalseColour.h"

#include <algorithm>
#include <cmath>
#include <system_error>

#include "platform/UserMessages.h"

namespace vivurozed {

namespace {

const char* const kLookupPrefix = "TempToColour";

std::uint8_t Byte(double fraction) {
  return static_cast<std::uint8_t>(std::clamp(std::nearbyint(fraction * 255.0), 0.0, 255.0));
}

void PutPixel(TExtBitmap& bmp, int x, int y, const TRgb& c) {
  std::uint8_t* p = bmp.ScanLine(y) + 3 * x;
  p[0] = Byte(c.blue);
  p[1] = Byte(c.green);
  p[2] = Byte(c.red);
}

TRgb Grey(double v) {
  return {v, v, v};
}

// Ten-degree steps of the "HSV" model, coldest first.
constexpr std::array<double, 10> kHsvHue = {280, 260, 230, 210, 185, 150, 105, 55, 35, 15};
constexpr std::array<double, 10> kHsvSat = {0.07, 0.15, 0.2, 0.17, 0.1, 0, 0.13, 0.21, 0.25, 0.29};

struct THlsRange {
  int first, width;
  double hue0, hue1, sat0, sat1;
};
constexpr std::array<THlsRange, 11> kHlsRanges = {{
    {-60, 10, 330, 280, 0.05, 0.1},
    {-50, 10, 280, 260, 0.1, 0.11},
    {-40, 10, 260, 230, 0.11, 0.12},
    {-30, 10, 230, 210, 0.12, 0.11},
    {-20, 10, 210, 185, 0.11, 0.07},
    {-10, 10, 185, 165, 0.07, 0},
    {0, 5, 110, 95, 0, 0.1},
    {5, 5, 95, 85, 0.1, 0.12},
    {10, 7, 85, 55, 0.12, 0.19},
    {18, 10, 55, 35, 0.19, 0.25},
    {28, 12, 35, 15, 0.25, 0.35},
}};

// The ranges above cover round(T) = first .. next range's first - 1.
const THlsRange& HlsRange(int t) {
  for (std::size_t i = kHlsRanges.size(); i-- > 0;)
    if (t >= kHlsRanges[i].first) return kHlsRanges[i];
  return kHlsRanges[0];
}

TRgb ThermColour(int t) {
  const double step[4] = {0.2, 0.4, 0.6, 0.8};
  const int band = t + 100;  // 2-degree bands from -60 (band 40)
  auto in = [&](int from, int to) { return band >= from + 100 && band <= to + 100; };
  const int i = (band - (band % 2)) / 2;  // pair index, used within runs of four pairs
  auto k = [&](int from) { return static_cast<std::size_t>(i - (from + 100) / 2); };
  if (in(-60, -59)) return Grey(0);
  if (in(-58, -51)) return Grey(0.1 * double(k(-58) + 1));
  if (in(-50, -49)) return Grey(0.5);
  if (in(-48, -41)) {
    const double v = 0.4 - 0.1 * double(k(-48));
    return {v, v, 0.5};
  }
  if (in(-40, -39)) return {0, 0, 0.5};
  if (in(-38, -31)) return {step[k(-38)], 0, 0.6 + 0.1 * double(k(-38))};
  if (in(-30, -29)) return {1, 0, 1};
  if (in(-28, -21)) return {step[3 - k(-28)], 0, 1};
  if (in(-20, -19)) return {0, 0, 1};
  if (in(-18, -11)) return {0, step[k(-18)], 1};
  if (in(-10, -9)) return {0, 1, 1};
  if (in(-8, -1)) return {step[k(-8)], 1, 1};
  if (in(0, 1)) return {1, 1, 1};
  if (in(2, 3)) return {0.8, 1, 0.8};
  if (in(4, 5)) return {0.6, 1, 0.6};
  if (in(6, 7)) return {0.4, 1, 0.4};
  if (in(8, 9)) return {0.2, 1, 0.3};
  if (in(10, 11)) return {0, 1, 0};
  if (in(12, 19)) return {step[k(12)], 1, 0};
  if (in(20, 21)) return {1, 1, 0};
  if (in(22, 29)) return {1, step[3 - k(22)], 0};
  if (in(30, 31)) return {1, 0, 0};
  if (in(32, 39)) return {1, step[k(32)], step[k(32)]};
  return Grey(0.5);
}

TRgb CloudTopColour(int t) {
  static const std::array<TRgb, 8> bands = {{{1, 1, 1},
                                             {1, 0, 1},
                                             {1, 1, 0},
                                             {1, 0.3, 0.3},
                                             {0, 1, 0},
                                             {0.4, 0.8, 0.4},
                                             {0, 1, 1},
                                             {0.7, 0.7, 1}}};
  const int band = (t + 60) / 5;
  if (t >= -60 && band < int(bands.size())) return bands[std::size_t(band)];
  return Grey(1.0 / 255.0);
}

TRgb BuiltInColour(const std::string& name, int t, int v) {
  const double f = v == 0 ? 0.001 : v / 255.0;
  if (name == "HSV") {
    const int k = std::clamp(static_cast<int>(std::nearbyint((t - 4.99) / 10.0)), -6, 3);
    return HSVtoRGB(kHsvHue[std::size_t(k + 6)], kHsvSat[std::size_t(k + 6)], f);
  }
  if (name == "HLS") {
    const double tc = std::clamp(double(t), -60.0, 39.4);
    const THlsRange& r = HlsRange(static_cast<int>(std::nearbyint(tc)));
    const double x = std::clamp((tc - r.first) / r.width, 0.0, 1.0);
    const double hue = r.hue0 + (r.hue1 - r.hue0) * x;
    const double sat = r.sat0 + (r.sat1 - r.sat0) * x;
    return HLStoRGB(hue, f, (f * f + 0.75) * sat);
  }
  if (name == "Therm") return ThermColour(t);
  return CloudTopColour(t);
}

bool IsBuiltIn(const std::string& name) {
  return std::find(BuiltInLookupNames.begin(), BuiltInLookupNames.end(), name) !=
         BuiltInLookupNames.end();
}

}  // namespace

const std::array<const char*, 4> BuiltInLookupNames = {"HSV", "HLS", "Therm", "CloudTop"};

TRgb HSVtoRGB(double hue, double saturation, double value) {
  if (saturation == 0.0) return Grey(value);
  double h = hue >= 360.0 ? 0.0 : hue;
  h /= 60.0;
  const double sector = std::floor(h);
  const double f = h - sector;
  const double v = value, s = saturation;
  const double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
  switch (static_cast<int>(sector)) {
    case 0:
      return {v, t, p};
    case 1:
      return {q, v, p};
    case 2:
      return {p, v, t};
    case 3:
      return {p, q, v};
    case 4:
      return {t, p, v};
    default:
      return {v, p, q};
  }
}

TRgb HLStoRGB(double hue, double lightness, double saturation) {
  const double s = std::min(saturation, 1.0), l = lightness;
  if (s == 0.0) return Grey(l);
  const double m2 = l + s * std::min(l, 1.0 - l);
  const double m1 = 2.0 * l - m2;
  auto ramp = [&](double x) {
    x = std::fmod(x, 360.0);
    if (x < 0) x += 360.0;
    if (x < 60) return m1 + (m2 - m1) * x / 60.0;
    if (x < 180) return m2;
    if (x < 240) return m1 + (m2 - m1) * (240.0 - x) / 60.0;
    return m1;
  };
  return {ramp(hue + 120.0), ramp(hue), ramp(hue - 120.0)};
}

int TWedgeCorrection::operator()(double x) const {
  const double v = ((c[3] * x + c[2]) * x + c[1]) * x + c[0];
  if (!(v > 0.0)) return 0;  // also NaN
  return static_cast<int>(std::min(255.0, std::nearbyint(v)));
}

TExtBitmap MakeBuiltInLookupBitmap(const std::string& name) {
  if (!IsBuiltIn(name)) return TExtBitmap();
  TExtBitmap bmp(kLookupWidth, kLookupHeight, pf24bit);
  for (int v = 0; v < 256; ++v)
    for (int t = kLookupMinCelsius; t <= kLookupMaxCelsius; ++t)
      PutPixel(bmp, t + 60, 255 - v, BuiltInColour(name, t, v));
  return bmp;
}

std::filesystem::path LookupFileName(const std::filesystem::path& folder, const std::string& name) {
  return folder / (std::string(kLookupPrefix) + name + ".bmp");
}

bool MakeBuiltInLookup(const std::filesystem::path& folder, const std::string& name) {
  const auto file = LookupFileName(folder, name);
  std::error_code ec;
  if (!IsBuiltIn(name) || std::filesystem::exists(file, ec)) return false;
  TExtBitmap bmp = MakeBuiltInLookupBitmap(name);
  bmp.SaveToFile(file);
  return true;
}

void MakeBuiltInLookups(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  for (const char* name : BuiltInLookupNames) MakeBuiltInLookup(folder, name);
}

TColourMapping::TColourMapping(std::string name, std::unique_ptr<TExtBitmap> lookup)
    : name_(std::move(name)), lookup_(std::move(lookup)) {
  std::string lower = name_;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
  cloudtop_ = lower.find("cloudtop") != std::string::npos;
}

std::vector<std::unique_ptr<TColourMapping>> LoadLookups(
    const std::vector<std::filesystem::path>& folders) {
  const std::string prefix = kLookupPrefix;
  std::vector<std::pair<std::string, std::filesystem::path>> found;
  for (const auto& folder : folders) {
    std::error_code ec;
    std::vector<std::pair<std::string, std::filesystem::path>> here;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
      const std::string file = it->path().filename().string();
      if (file.size() <= prefix.size() + 4 || file.compare(0, prefix.size(), prefix) != 0 ||
          it->path().extension() != ".bmp")
        continue;
      const std::string name = it->path().stem().string().substr(prefix.size());
      const bool known =
          std::any_of(found.begin(), found.end(), [&](const auto& f) { return f.first == name; });
      if (!known) here.emplace_back(name, it->path());
    }
    std::sort(here.begin(), here.end());
    found.insert(found.end(), here.begin(), here.end());
  }
  // Built-in models first, in menu order, then the user's by name.
  auto rank = [](const std::string& name) {
    const auto it = std::find(BuiltInLookupNames.begin(), BuiltInLookupNames.end(), name);
    return static_cast<int>(it - BuiltInLookupNames.begin());
  };
  std::stable_sort(found.begin(), found.end(),
                   [&](const auto& a, const auto& b) { return rank(a.first) < rank(b.first); });

  std::vector<std::unique_ptr<TColourMapping>> maps;
  for (const auto& [name, path] : found) {
    auto bmp = std::make_unique<TExtBitmap>();
    try {
      bmp->LoadFromFile(path);
    } catch (const std::exception&) {
      UserMessages().Show(
          "Error loading temperature lookup bitmap:\r" + path.string() + ", file not found.",
          "Vivurozed");
      continue;
    }
    if (bmp->Height() != kLookupHeight || bmp->Width() != kLookupWidth ||
        bmp->PixelFormat() != pf24bit) {
      UserMessages().Show("Error loading temperature lookup bitmap:\r" + path.string() + "\r\r" +
                              "This file is not a 100 x 256 x 24-bit bitmap",
                          "Vivurozed");
      continue;
    }
    maps.push_back(std::make_unique<TColourMapping>(name, std::move(bmp)));
  }
  return maps;
}

void FillCelsiusTable(const TSensor& sensor, std::array<double, 256>& celsius) {
  for (int i = 0; i < 256; ++i) celsius[std::size_t(i)] = sensor.Temperature(i) - 273.16;
}

void ThermalFalseColour(const TThermalFalseColour& job) {
  const TExtBitmap* bright = job.brightness;
  const TIplImage* temps = job.temperatures;
  if (!bright || !job.falseColour || !temps || !job.sensor || bright->PixelFormat() != pf8bit)
    return;
  const int w = bright->Width(), h = bright->Height();
  if (temps->Depth() != idDepth16u || temps->Width() != 2 * w || job.firstCleanLine < 0 ||
      h + job.firstCleanLine > temps->Height())
    return;
  job.falseColour->SetPixelFormat(pf24bit);
  job.falseColour->SetSize(w, h);
  if (job.irPicture) {
    job.irPicture->SetPixelFormat(pf8bit);
    job.irPicture->SetSize(w, h);
  }

  std::array<double, 256> celsius;
  FillCelsiusTable(*job.sensor, celsius);
  if (job.celsius) *job.celsius = celsius;

  // colour[t][b]: blue, green, red.
  std::vector<std::array<std::uint8_t, 3>> colour(256 * 256, {0, 0, 0});
  const TExtBitmap* lookup = job.lookup;
  if (!lookup || lookup->PixelFormat() != pf24bit || lookup->Width() != kLookupWidth ||
      lookup->Height() != kLookupHeight) {
    UserMessages().Show(
        "Warning: NOAA false-colour routine called without a valid temperature-to-colour "
        "lookup bitmap.\r\rColours in the image will be random.",
        "Vivurozed");
  } else {
    for (int t = 0; t < 256; ++t) {
      const double c = std::nearbyint(celsius[std::size_t(t)]);
      const int column = static_cast<int>(std::clamp(c, -60.0, 39.0)) + 60;
      for (int b = 0; b < 256; ++b) {
        const std::uint8_t* p = lookup->ScanLine(255 - b) + 3 * column;
        colour[std::size_t(t * 256 + b)] = {p[0], p[1], p[2]};
      }
    }
  }

  std::vector<std::uint8_t> corrected(65536);
  for (int v = 0; v < 65536; ++v) corrected[std::size_t(v)] = std::uint8_t(job.wedge(v));
  const int offset = job.temperaturesFromChannelA ? 0 : w;
  for (int y = 0; y < h; ++y) {
    const std::uint16_t* src = temps->Row16(y + job.firstCleanLine) + offset;
    const int outY = job.rotate180 ? h - 1 - y : y;
    const std::uint8_t* b = bright->ScanLine(outY);
    std::uint8_t* out = job.falseColour->ScanLine(outY);
    std::uint8_t* ir = job.irPicture ? job.irPicture->ScanLine(outY) : nullptr;
    for (int x = 0; x < w; ++x) {
      const int outX = job.rotate180 ? w - 1 - x : x;
      const std::uint8_t t = corrected[src[x]];
      if (ir) ir[outX] = t;
      const auto& c = colour[std::size_t(t) * 256 + b[outX]];
      std::copy(c.begin(), c.end(), out + 3 * outX);
    }
  }
  job.falseColour->SetModified(true);
  if (job.irPicture) job.irPicture->SetModified(true);
}

void VisiblePairColouring(const TExtBitmap& channelA, const TExtBitmap& channelB,
                          TExtBitmap& falseColour, bool greenVegetation) {
  if (channelA.PixelFormat() != pf8bit || channelB.PixelFormat() != pf8bit) return;
  const int w = std::min(channelA.Width(), channelB.Width());
  const int h = std::min(channelA.Height(), channelB.Height());
  falseColour.SetPixelFormat(pf24bit);
  falseColour.SetSize(channelA.Width(), channelA.Height());
  std::vector<std::array<std::uint8_t, 3>> colour(256 * 256);
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      const double n = (a == 0 || b == 0) ? 0.0 : double(b - a) / double(b + a);
      double s = n > 0 ? std::min(n / 0.6, 1.0) : 0.0;
      double hue = 0.0;
      if (greenVegetation) {
        hue = 100.0 * s;
        if (s > 0) s = std::pow(s, 1.0 / 1.7);
      }
      const TRgb c = HSVtoRGB(hue, 0.8 * s, b / 255.0);
      colour[std::size_t(a * 256 + b)] = {Byte(c.blue), Byte(c.green), Byte(c.red)};
    }
  }
  // The channel pictures already have their final orientation, so each
  // output pixel reads both at its own place whether or not they were turned.
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* pa = channelA.ScanLine(y);
    const std::uint8_t* pb = channelB.ScanLine(y);
    std::uint8_t* out = falseColour.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      const auto& c = colour[std::size_t(pa[x]) * 256 + pb[x]];
      std::copy(c.begin(), c.end(), out + 3 * x);
    }
  }
  falseColour.SetModified(true);
}

void CalibrateCloudtop(TExtBitmap& lookup, int landCelsius) {
  if (lookup.PixelFormat() != pf24bit || lookup.Width() != kLookupWidth || lookup.Height() < 1)
    return;
  std::uint8_t* row0 = lookup.ScanLine(0);
  for (int t = kLookupMinCelsius; t <= kLookupMaxCelsius; ++t) {
    const int d = t - landCelsius;
    double g;
    if (d < -54) {
      g = 0.7 * 0.7;
    } else if (d <= -5) {
      const double f = 0.725 + 0.025 * ((d + 54) / 5);
      g = f * f;
    } else {
      g = 1.0 / 255.0;
    }
    const std::uint8_t v = Byte(g);
    std::uint8_t* p = row0 + 3 * (t + 60);
    p[0] = p[1] = p[2] = v;
  }
  for (int y = 1; y < lookup.Height(); ++y) std::copy_n(row0, 3 * kLookupWidth, lookup.ScanLine(y));
  lookup.SetModified(true);
}

}  // namespace vivurozed
