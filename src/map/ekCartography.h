// Coastlines and borders: the vector file "Countries.dat" in any of its three
// formats (our native records, GSHHS polygons of either byte order, text),
// drawn through a map projection with breaks where lines leave the picture
// or jump across it, and point markers with captions.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Canvas.h"

namespace vivurozed {

class TMapping;
class TDiagnostics;

// A file that cannot be opened or read.
class EFOpenError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TGeoPoint {
  float longitude = 0, latitude = 0;
  bool operator==(const TGeoPoint&) const = default;
};

class TLineSegment {
 public:
  // Extent of the points, degrees; empty until points are added.
  float north = -2147483648.0f, south = 2147483648.0f;
  float east = -2147483648.0f, west = 2147483648.0f;
  // 1 for GSHHS and text lines; the record's own type for native ones.
  int type = 1;
  std::vector<TGeoPoint> points;

  int PointCount() const { return static_cast<int>(points.size()); }
  void Add(double longitude, double latitude);
  bool operator==(const TLineSegment&) const = default;
};

class TCartogList {
 public:
  enum TFileFormat : std::uint8_t { ffNative = 0, ffGSHHS = 1, ffText = 2 };

  // Finds "Countries.dat": beside the companion program when its folder is
  // set in the settings store and the file is there, otherwise in the
  // shipped data folders.
  TCartogList();

  // Throws EFOpenError when the file cannot be read; a malformed or
  // truncated file loads what it holds up to the first bad record.
  void LoadFromFile(const std::filesystem::path& fileName);
  void LoadFromMemory(std::span<const std::uint8_t> data);
  // Loads the "Countries.dat" found at construction. A missing or unreadable
  // file is logged and leaves the list empty.
  bool LoadCountries(TDiagnostics& log);
  void Clear();

  int Count() const { return static_cast<int>(segments_.size()); }
  const TLineSegment& Items(int index) const { return segments_.at(std::size_t(index)); }
  const std::filesystem::path& FileName() const { return fileName_; }
  const std::filesystem::path& CountriesPath() const { return countriesPath_; }
  TFileFormat Format() const { return format_; }
  int LargestPointCount() const { return largest_; }

  // Segments are drawn as closed rings. GSHHS polygons are; native and text
  // files hold open lines.
  bool Closed() const { return closed_; }
  void SetClosed(bool closed) { closed_ = closed; }
  bool TextFormat() const { return textFormat_; }
  void SetTextFormat(bool accept) { textFormat_ = accept; }

  const TMapping* Mapping() const { return mapping_; }
  void SetMapping(const TMapping* mapping) { mapping_ = mapping; }
  // Only segments overlapping the area are drawn; south == north draws all.
  void SetSelection(double south, double north, double west, double east);

  // Draws the coastlines (class 0), borders (4) and lakes (8) with the
  // canvas's pen, shifted right by xOffset and up by yOffset.
  void Draw(TCanvas& canvas, int xOffset, int yOffset) const;
  // One marker ("o", "O", "x", "X", "+" or "*") in the colour, 3 pixels
  // wide, with its caption below it; the pen and brush are kept.
  void DrawMarker(TCanvas& canvas, int xOffset, bool flipCaption, const std::string& caption,
                  char marker, TColour colour, double latitude, double longitude,
                  int yOffset) const;

 private:
  void ReadGSHHS(std::span<const std::uint8_t> data);
  void ReadNative(std::span<const std::uint8_t> data);
  void ReadText(std::span<const std::uint8_t> data);
  void Add(TLineSegment segment);
  bool Selected(const TLineSegment& segment) const;

  std::vector<TLineSegment> segments_;
  std::filesystem::path fileName_, countriesPath_;
  TFileFormat format_ = ffNative;
  int largest_ = 0;
  bool closed_ = true;
  bool textFormat_ = false;
  const TMapping* mapping_ = nullptr;
  double south_ = 0, north_ = 0, west_ = 0, east_ = 0;
};

}  // namespace vivurozed
