#include "decode/SignalWEFAX.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "platform/UserMessages.h"

namespace vivurozed {

namespace {

constexpr int kHeaderLength = 25;

double RowMean(const TIplImage& image, int y, int from, int count) {
  const int a = std::clamp(from, 0, image.Width());
  const int b = std::clamp(from + count, 0, image.Width());
  if (b <= a || y < 0 || y >= image.Height()) return 0.0;
  const std::uint16_t* r = image.Row16(y);
  std::int64_t s = 0;
  for (int x = a; x < b; ++x) s += r[x];
  return static_cast<double>(s) / (b - a);
}

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

std::string Cut(const std::string& s, std::size_t from, std::size_t count) {
  return from < s.size() ? s.substr(from, count) : std::string{};
}

// A trimmed field of digits; false for anything else.
bool ReadNumber(const std::string& field, int& value) {
  const std::string t = Trim(field);
  if (t.empty()) return false;
  value = 0;
  for (char ch : t) {
    if (ch < '0' || ch > '9') return false;
    value = value * 10 + (ch - '0');
  }
  return true;
}

int CenturyYear(int yy) {
  return yy < 57 ? 2000 + yy : 1900 + yy;
}

bool LeapYear(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && LeapYear(y) ? 29 : kDays[m - 1];
}

// Days from 1899-12-30 to the given date.
double DateValue(int y, int m, int d) {
  // Days from civil, shifted so that March starts the year.
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int fromEpoch = era * 146097 + doe - 719468;  // days since 1970-01-01
  return fromEpoch + 25569.0;
}

std::string JoinName(const std::filesystem::path& folder, const std::string& stem,
                     const std::string& extension) {
  return (folder.empty() ? std::filesystem::path(stem) : folder / stem).string() + extension;
}

}  // namespace

char HeaderCharacter(std::uint8_t byte, TDecodeParameters type) {
  if (type != dpGMS) return byte >= 32 && byte <= 127 ? static_cast<char>(byte) : ' ';
  // EBCDIC as in code page 037; the cent and not signs as their Latin-1 codes.
  static constexpr struct {
    std::uint8_t from;
    const char* chars;
  } kRanges[] = {
      {0x40, " "},         {0x4A, "\xA2.<(+|&"}, {0x5A, "!$*);\xAC-/"}, {0x6B, ",%_>?"},
      {0x7A, ":#@'=\""},   {0x81, "abcdefghi"},  {0x91, "jklmnopqr"},   {0xA2, "stuvwxyz"},
      {0xC1, "ABCDEFGHI"}, {0xD1, "JKLMNOPQR"},  {0xE2, "STUVWXYZ"},    {0xF0, "0123456789"},
  };
  for (const auto& r : kRanges) {
    const std::size_t n = std::char_traits<char>::length(r.chars);
    if (byte >= r.from && byte < r.from + n) return r.chars[byte - r.from];
  }
  return ' ';
}

double StopToneEnergy(const std::uint16_t* row, int width, const TResonatorDesign& resonator) {
  if (width < 10) return 0.0;
  TResonatorState state;
  const int tail = width / 10 + 1;
  double sum = 0;
  for (int x = 0; x < width; ++x) {
    const double y = state.Step(resonator, row[x]);
    if (x >= width - tail) sum += std::fabs(y);
  }
  return sum / (width / 10);
}

std::string DecodeHeaderBits(const TIplImage& image, int firstRow, int rowCount,
                             TDecodeParameters type, double rate, int startColumn) {
  const int w = image.Width();
  const int r0 = std::max(firstRow, 0), r1 = std::min(firstRow + rowCount, image.Height());
  if (r1 <= r0 || w == 0 || !(rate > 0) || startColumn < 0 || startColumn >= w) return {};
  const bool gms = type == dpGMS;
  const double samplesPerBit = rate / (gms ? 1800.0 : 1680.0);
  const int increment = static_cast<int>(std::nearbyint(65536.0 / samplesPerBit));
  const int nudge = increment / 12;
  int phase = gms ? 16384 : type == dpMeteosat ? 24576 : 20480;

  std::vector<std::int64_t> s(static_cast<std::size_t>(w), 0);
  for (int y = r0; y < r1; ++y) {
    const std::uint16_t* row = image.Row16(y);
    for (int x = 0; x < w; ++x) s[static_cast<std::size_t>(x)] += row[x];
  }
  std::int64_t u = s[0], lowest = u, highest = u;
  for (std::int64_t v : s) {
    u = (u + v) / 2;
    lowest = std::min(lowest, u);
    highest = std::max(highest, u);
  }
  const std::int64_t threshold = (lowest + highest) / 2;

  std::string text;
  bool previous = s[static_cast<std::size_t>(std::max(startColumn - 1, 0))] > threshold;
  unsigned byte = 0;
  int bits = 0;
  for (int x = startColumn; x < w && text.size() < kHeaderLength; ++x) {
    const bool level = s[static_cast<std::size_t>(x)] > threshold;
    if (level != previous) {
      // Pull the clock so that level changes fall midway between samples.
      phase += phase > 32768 ? -nudge : nudge;
      previous = level;
    }
    phase += increment;
    if (phase > 65536) {
      phase %= 65536;
      byte = ((byte << 1) | (level ? 1u : 0u)) & 0xFF;
      if (++bits == 8) {
        text += HeaderCharacter(static_cast<std::uint8_t>(byte), type);
        bits = 0;
      }
    }
  }
  return text;
}

TGeoFrame FrameGeostationary(std::unique_ptr<TIplImage>& image, TDecodeParameters type,
                             double measuredRate) {
  TGeoFrame f;
  f.headerType = type == dpMeteosat ? dpMeteosat : dpGOES;
  if (!image || image->Width() < 10 || image->Height() < 1) return f;
  const TIplImage& im = *image;
  const int w = im.Width(), h = im.Height();

  // With no measured rate (or one the 450 Hz resonator cannot work at) the
  // nominal sound-card rate stands in.
  int rate = static_cast<int>(std::nearbyint(measuredRate));
  if (!(measuredRate > 0) || rate <= 2 * 450) rate = 11025;
  const TResonatorDesign resonator = DesignResonator(450.0, 50.0, rate);
  const int pictureWidth = 800 * w / 840;

  // Phasing block: the bright rows at the top.
  const double m0 = RowMean(im, 0, 0, pictureWidth);
  std::vector<std::int64_t> sums(static_cast<std::size_t>(w), 0);
  int phasing = 0;
  for (int y = 0; y < h; ++y) {
    const std::uint16_t* row = im.Row16(y);
    for (int x = 0; x < w; ++x) sums[static_cast<std::size_t>(x)] += row[x];
    ++phasing;
    if (phasing >= 26 || y + 1 >= h) break;
    if (RowMean(im, y + 1, 0, pictureWidth) < m0 * 50 / 100) break;
  }
  f.phasingRows = phasing;

  std::vector<int> means(static_cast<std::size_t>(w));
  std::int64_t total = 0;
  f.black = 65535;
  for (int x = 0; x < w; ++x) {
    const int m = static_cast<int>(sums[static_cast<std::size_t>(x)] / phasing);
    means[static_cast<std::size_t>(x)] = m;
    total += m;
    f.black = std::min(f.black, m);
  }
  f.white = static_cast<int>(total / w * 1000 / 960);
  const int middle = (f.black + f.white) / 2;

  int c = 0;
  for (int x = 1; x <= w / 10 + 1 && x < w; ++x) {
    if (means[static_cast<std::size_t>(x)] > middle) {
      c = x;
      break;
    }
  }
  c -= type == dpMeteosat ? 4 * w / 1680 : w / 1680;
  c = std::max(c, 0);
  f.leftEdge = c;

  int headerRows = 0;
  if (type == dpMeteosat) {
    headerRows = std::min(2, h - phasing);
  } else {
    const int from = 695 * w / 840 + c, to = (695 + 92) * w / 840 + c;
    for (int y = phasing; y < h && headerRows < 4; ++y) {
      if (RowMean(im, y, from, to - from) > middle) break;
      ++headerRows;
    }
  }
  f.headerRows = headerRows;
  const int top = phasing + headerRows;

  double q1 = 0, q2 = 0;
  int patchRows = 0;
  for (int y = top; y < top + 18 && y < h; ++y, ++patchRows) {
    q1 += RowMean(im, y, 5 * w / 840 + c, 35 * w / 840);
    q2 += RowMean(im, y, 48 * w / 840 + c, 36 * w / 840);
  }
  if (patchRows) {
    q1 /= patchRows;
    q2 /= patchRows;
  }
  if (type != dpMeteosat) {
    if (q1 > f.white / 2.0 && q2 < f.white / 2.0) {
      f.headerType = dpGMS;
    } else {
      f.headerType = dpGOES;
      if (q1 < f.white / 7.0) f.black = static_cast<int>(q1);
    }
  }
  f.header = DecodeHeaderBits(im, phasing, headerRows, f.headerType, rate, c);

  // Stop tone: from the bottom, drop the quiet rows after it, then the tone.
  int height = h - top;
  const double t = (f.white - f.black) / 4.0;
  int y = h - 1;
  while (y >= 750 && y >= top && StopToneEnergy(im.Row16(y), w, resonator) <= t) {
    --height;
    --y;
  }
  while (y >= 740 && y >= top && StopToneEnergy(im.Row16(y), w, resonator) > t) {
    --height;
    --y;
  }
  height = std::min(height, 800);
  // A Meteosat picture is 800 lines, when that many were received.
  if (type == dpMeteosat) height = std::min(800, h - top);

  if (height >= 5) {
    auto framed = iplCreateImage(pictureWidth, height, idDepth16u);
    image->SetROI(iplCreateROI(c, top, pictureWidth, height));
    iplCopy(*image, *framed);
    image = std::move(framed);
    f.cropped = true;
  }
  return f;
}

int MonthFromText(const std::string& text) {
  if (text.size() != 3) return 0;
  std::string upper = text;
  for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  static const std::string kMonths = "  JANFEBMARAPRMAYJUNJULAUGSEPOCTNOVDEC";
  const auto at = kMonths.find(upper);
  const int month = at == std::string::npos ? 0 : static_cast<int>(at + 1) / 3;
  if (month < 1 || month > 12) throw std::out_of_range("Bad month");
  return month;
}

bool IsSectorSatellite(const std::string& satellite) {
  for (const char* prefix : {"MET5", "MET7", "GMSN", "GMSS", "GOES8"}) {
    if (satellite.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

bool IsSafePictureName(const std::string& name) {
  if (Trim(name).empty() || name.find("..") != std::string::npos) return false;
  for (unsigned char ch : name) {
    if (ch < 32 || ch >= 127) return false;
    if (std::string_view("/\\<>:\"|?*").find(static_cast<char>(ch)) != std::string_view::npos) {
      return false;
    }
  }
  return true;
}

bool ParseWefaxHeader(const std::string& header, TWefaxHeaderFields& f) {
  if (header.size() < 11) return false;
  f.satellite = Trim(Cut(header, 0, 8));
  f.kind = Trim(Cut(header, 8, 3));
  int n[5];
  for (int i = 0; i < 5; ++i) {
    if (!ReadNumber(Cut(header, 11 + 2 * static_cast<std::size_t>(i), 2), n[i])) return false;
  }
  f.year = n[0];
  f.month = n[1];
  f.day = n[2];
  f.hour = n[3];
  f.minute = n[4];
  const int year = CenturyYear(f.year);
  if (f.month < 1 || f.month > 12 || f.day < 1 || f.day > DaysInMonth(year, f.month) ||
      f.hour > 24 || f.minute > 59) {
    return false;
  }
  f.date = DateValue(year, f.month, f.day) + ((f.hour % 24) * 60 + f.minute) / 1440.0;
  f.label = Cut(header, 21, 4);
  if (Trim(f.label).empty()) f.label = f.satellite;
  return true;
}

std::string MakePictureName(const std::string& defaultName, const std::string& header,
                            bool showErrors) {
  if (header.size() < 11) return defaultName;
  const std::filesystem::path path(defaultName);
  const std::filesystem::path folder = path.parent_path();
  const std::string extension = path.extension().string();

  // First form: fixed fields.
  const std::string kind = Trim(Cut(header, 8, 3));
  std::string stem;
  TWefaxHeaderFields f;
  if (kind == "ADM") {
    stem = "ADMIN";
  } else if (kind == "TST") {
    stem = "TEST";
  } else if (ParseWefaxHeader(header, f)) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %.2d-%.2d-%.2d %.2d%.2d", f.label.c_str(), f.day, f.month,
                  f.year, f.hour, f.minute);
    if (IsSectorSatellite(f.satellite)) {
      stem = text;
    } else {
      std::string k = f.kind;
      if (f.satellite.rfind("GOES-I", 0) == 0) k = "G8" + f.kind.substr(0, 2);
      if (f.satellite.rfind("GOES-K", 0) == 0) k = "G10" + f.kind.substr(0, 2);
      stem = Trim(k) + " " + text;
    }
  }
  if (!stem.empty() && IsSafePictureName(stem)) return JoinName(folder, stem, extension);

  // Second form: a date written out with the month's name.
  int year = 0, day = 0, hour = 0, month = 0;
  if (ReadNumber(Cut(header, 9, 2), year) && ReadNumber(Cut(header, 16, 2), day) &&
      ReadNumber(Cut(header, 19, 2), hour)) {
    try {
      month = MonthFromText(Cut(header, 12, 3));
    } catch (const std::out_of_range&) {
      month = 0;
    }
  }
  const std::string whole = Trim(header);
  if (month > 0 && IsSafePictureName(whole)) return JoinName(folder, whole, extension);

  if (showErrors) UserMessages().Show("Bad WEFAX header: " + header, "WEFAX");
  return defaultName;
}

}  // namespace vivurozed
