#include "map/ekCartography.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string_view>

#include "map/ekMapping.h"
#include "platform/Diagnostics.h"
#include "platform/Folders.h"
#include "platform/qt/SettingsStore.h"

namespace vivurozed {

namespace fs = std::filesystem;

namespace {

constexpr const char* kCountriesFile = "Countries.dat";
constexpr std::size_t kGshhsHeader = 36;
constexpr std::size_t kPolylinePiece = 16000;

std::uint32_t Word(std::span<const std::uint8_t> data, std::size_t pos, bool bigEndian) {
  const std::uint32_t b0 = data[pos], b1 = data[pos + 1], b2 = data[pos + 2], b3 = data[pos + 3];
  return bigEndian ? (b0 << 24 | b1 << 16 | b2 << 8 | b3) : (b3 << 24 | b2 << 16 | b1 << 8 | b0);
}

std::int32_t Int32(std::span<const std::uint8_t> data, std::size_t pos, bool bigEndian = false) {
  return static_cast<std::int32_t>(Word(data, pos, bigEndian));
}

std::int16_t Int16(std::span<const std::uint8_t> data, std::size_t pos) {
  return static_cast<std::int16_t>(data[pos] | data[pos + 1] << 8);
}

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool ReadNumber(std::string_view text, double& value) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

fs::path FindCountries() {
  std::error_code ec;
  const TSettingsStore appPaths("\\Software\\Vovidada\\App Paths");
  if (const auto companion = appPaths.ReadString("Zevuvid"); companion && !companion->empty()) {
    fs::path folder(*companion);
    // The value may name the program rather than its folder.
    if (fs::is_regular_file(folder, ec)) folder = folder.parent_path();
    if (fs::is_regular_file(folder / kCountriesFile, ec)) return folder / kCountriesFile;
  }
  for (const auto& shipped : ShippedDataFolders()) {
    const fs::path candidate = shipped / "map" / kCountriesFile;
    if (fs::is_regular_file(candidate, ec)) return candidate;
  }
  return {};
}

void DrawBuffered(TCanvas& canvas, std::vector<TCanvasPoint>& line) {
  // Long lines go in pieces, each starting where the one before ended.
  for (std::size_t start = 0; line.size() >= 2 && start + 1 < line.size();
       start += kPolylinePiece - 1) {
    const std::size_t count = std::min(kPolylinePiece, line.size() - start);
    canvas.Polyline(std::span<const TCanvasPoint>(line).subspan(start, count));
  }
  line.clear();
}

}  // namespace

void TLineSegment::Add(double longitude, double latitude) {
  const TGeoPoint point{static_cast<float>(longitude), static_cast<float>(latitude)};
  points.push_back(point);
  north = std::max(north, point.latitude);
  south = std::min(south, point.latitude);
  east = std::max(east, point.longitude);
  west = std::min(west, point.longitude);
}

TCartogList::TCartogList() : countriesPath_(FindCountries()) {}

void TCartogList::Clear() {
  segments_.clear();
  largest_ = 0;
}

void TCartogList::Add(TLineSegment segment) {
  largest_ = std::max(largest_, segment.PointCount());
  segments_.push_back(std::move(segment));
}

void TCartogList::SetSelection(double south, double north, double west, double east) {
  south_ = south;
  north_ = north;
  west_ = west;
  east_ = east;
}

void TCartogList::LoadFromFile(const fs::path& fileName) {
  std::error_code ec;
  std::ifstream in(fileName, std::ios::binary);
  if (!in || !fs::is_regular_file(fileName, ec))
    throw EFOpenError("Cannot open file \"" + fileName.string() + "\"");
  std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
  if (in.bad()) throw EFOpenError("Cannot read file \"" + fileName.string() + "\"");
  LoadFromMemory(data);
  fileName_ = fileName;
}

void TCartogList::LoadFromMemory(std::span<const std::uint8_t> data) {
  closed_ = true;
  fileName_.clear();
  Clear();
  if (data.size() < 4) return;
  if (Int32(data, 0) == 0) {
    format_ = ffGSHHS;
    ReadGSHHS(data);
  } else if (std::string_view(reinterpret_cast<const char*>(data.data()), 4) == "# -b") {
    if (!textFormat_) return;
    format_ = ffText;
    closed_ = false;
    ReadText(data);
  } else {
    format_ = ffNative;
    // Our native files hold open lines: closing them would draw chords
    // across the land.
    closed_ = false;
    ReadNative(data);
  }
}

bool TCartogList::LoadCountries(TDiagnostics& log) {
  Clear();
  if (countriesPath_.empty()) {
    log.Add("No coastline file \"Countries.dat\" found: the overlay has no coastlines or borders");
    return false;
  }
  try {
    LoadFromFile(countriesPath_);
  } catch (const std::exception& e) {
    log.Add(std::string(e.what()) + ": the overlay has no coastlines or borders");
    Clear();
    return false;
  }
  if (segments_.empty()) {
    log.Add("Coastline file \"" + countriesPath_.string() +
            "\" holds no lines: the overlay has no coastlines or borders");
    return false;
  }
  return true;
}

void TCartogList::ReadGSHHS(std::span<const std::uint8_t> data) {
  if (data.size() < kGshhsHeader) return;
  const bool bigEndian = Word(data, 8, false) >= 65536;
  std::size_t pos = 0;
  while (data.size() - pos >= kGshhsHeader) {
    const std::int32_t n = Int32(data, pos + 4, bigEndian);
    const std::int32_t level = Int32(data, pos + 8, bigEndian);
    const std::int32_t area = Int32(data, pos + 28, bigEndian);
    pos += kGshhsHeader;
    if (n < 0 || std::size_t(n) > (data.size() - pos) / 8) return;  // truncated
    const bool keep = level == 1 || (level == 2 && area >= 100) || level == 3;
    if (!keep) {
      pos += std::size_t(n) * 8;
      continue;
    }
    TLineSegment segment;
    segment.points.reserve(std::size_t(n));
    for (std::int32_t i = 0; i < n; ++i, pos += 8) {
      segment.Add(Int32(data, pos, bigEndian) / 1e6, Int32(data, pos + 4, bigEndian) / 1e6);
    }
    // Points keep their 0 ... 360 longitudes; only the extent moves.
    if (segment.east > 180) segment.east -= 360;
    if (segment.west > 180) segment.west -= 360;
    Add(std::move(segment));
  }
}

void TCartogList::ReadNative(std::span<const std::uint8_t> data) {
  std::size_t pos = 0;
  while (data.size() - pos >= 5) {
    const std::int32_t n = Int32(data, pos);
    TLineSegment segment;
    segment.type = data[pos + 4];
    pos += 5;
    if (pos >= data.size()) return;
    if (n < 0 || std::size_t(n) > (data.size() - pos) / 4) return;  // truncated
    segment.points.reserve(std::size_t(n));
    for (std::int32_t i = 0; i < n; ++i, pos += 4) {
      segment.Add(Int16(data, pos) / 60.0, Int16(data, pos + 2) / 60.0);
    }
    Add(std::move(segment));
  }
}

void TCartogList::ReadText(std::span<const std::uint8_t> data) {
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  TLineSegment segment;
  bool open = false;
  auto close = [&] {
    if (open && !segment.points.empty()) Add(std::move(segment));
    segment = TLineSegment{};
    open = false;
  };
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = Trim(text.substr(start, end - start));
    start = end + 1;
    if (line.size() <= 4) {
      close();
      continue;
    }
    const auto tab = line.find('\t');
    double longitude = 0, latitude = 0;
    if (tab == std::string_view::npos || !ReadNumber(line.substr(0, tab), longitude) ||
        !ReadNumber(line.substr(tab + 1), latitude))
      break;  // a bad line ends the reading; what came before stays
    open = true;
    segment.Add(longitude, latitude);
  }
  close();
}

bool TCartogList::Selected(const TLineSegment& segment) const {
  if (south_ == north_) return true;
  return segment.north >= south_ && segment.south < north_ && segment.east >= west_ &&
         segment.west < east_;
}

void TCartogList::Draw(TCanvas& canvas, int xOffset, int yOffset) const {
  if (!mapping_ || segments_.empty()) return;
  std::vector<TCanvasPoint> line;
  line.reserve(std::size_t(largest_) + 2);
  const int jump = mapping_->GetWidth() * 5 / 6;
  for (const auto& segment : segments_) {
    const int drawingClass = segment.type & ~1;
    if ((drawingClass != 0 && drawingClass != 4 && drawingClass != 8) || !Selected(segment))
      continue;
    bool haveFirst = false;
    TCanvasPoint first;
    const std::size_t last = segment.points.size() - 1;
    for (std::size_t i = 0; i < segment.points.size(); ++i) {
      TCanvasPoint p;
      if (!mapping_->Project(segment.points[i].latitude, segment.points[i].longitude, p.x, p.y)) {
        DrawBuffered(canvas, line);
        continue;
      }
      p.x += xOffset;
      p.y -= yOffset;
      if (!haveFirst) {
        first = p;
        haveFirst = true;
      }
      if (!line.empty()) {
        const TCanvasPoint& previous = line.back();
        if (std::abs(p.x - previous.x) > jump) {
          DrawBuffered(canvas, line);
        } else if (p == previous && i != last) {
          continue;
        }
      }
      line.push_back(p);
    }
    // The closing line is left out where it would jump across the picture.
    if (closed_ && haveFirst && !line.empty() && std::abs(first.x - line.back().x) <= jump)
      line.push_back(first);
    DrawBuffered(canvas, line);
  }
}

void TCartogList::DrawMarker(TCanvas& canvas, int xOffset, bool flipCaption,
                             const std::string& caption, char marker, TColour colour,
                             double latitude, double longitude, int yOffset) const {
  int x = 0, y = 0;
  if (!mapping_ || !mapping_->Project(float(latitude), float(longitude), x, y)) return;
  x += xOffset;
  y -= yOffset;
  const TColour penColour = canvas.PenColour(), fontColour = canvas.FontColour();
  const int penWidth = canvas.PenWidth();
  const TBrushStyle brushStyle = canvas.BrushStyle();
  canvas.SetPenColour(colour);
  canvas.SetPenWidth(3);
  canvas.SetBrushStyle(bsClear);
  auto cross = [&](int arm, bool diagonal) {
    if (diagonal) {
      canvas.MoveTo(x - arm, y - arm);
      canvas.LineTo(x + arm, y + arm);
      canvas.MoveTo(x + arm, y - arm);
      canvas.LineTo(x - arm, y + arm);
    } else {
      canvas.MoveTo(x - arm, y);
      canvas.LineTo(x + arm, y);
      canvas.MoveTo(x, y - arm);
      canvas.LineTo(x, y + arm);
    }
  };
  switch (marker) {
    case 'o':
      canvas.Ellipse(x - 7, y - 7, x + 8, y + 8);
      break;
    case 'O':
      canvas.Ellipse(x - 10, y - 10, x + 11, y + 11);
      break;
    case 'x':
      cross(5, true);
      break;
    case 'X':
      cross(8, true);
      break;
    case '+':
      cross(6, false);
      break;
    case '*':
      cross(6, false);
      cross(5, true);
      break;
    default:
      break;
  }
  if (!caption.empty()) {
    const int w = canvas.TextWidth(caption), h = canvas.TextHeight(caption);
    canvas.SetFontColour(colour);
    if (flipCaption) {
      canvas.TextOut(x + w / 2, y + 2 * h, caption);
    } else {
      canvas.TextOut(x - w / 2, y + h, caption);
    }
  }
  canvas.SetPenColour(penColour);
  canvas.SetPenWidth(penWidth);
  canvas.SetBrushStyle(brushStyle);
  canvas.SetFontColour(fontColour);
}

}  // namespace vivurozed
