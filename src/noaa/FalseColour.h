// False colour for NOAA pictures: temperature-to-colour lookups (built-in
// and user files), the thermal colouring through a lookup, the colouring of
// a pair of visible channels, and the colour-model conversions they use.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "image/BMPExtImage.h"
#include "noaa/Thermal.h"
#include "platform/ImageLib.h"

namespace vivurozed {

// Lookup bitmaps: column c is c - 60 degrees C, row r the brightness 255 - r.
constexpr int kLookupWidth = 100, kLookupHeight = 256;
constexpr int kLookupMinCelsius = -60, kLookupMaxCelsius = 39;

struct TRgb {
  double red = 0, green = 0, blue = 0;  // 0 .. 1
};

// Hue in degrees, saturation and value 0 .. 1.
TRgb HSVtoRGB(double hue, double saturation, double value);
// Hue in degrees, lightness and saturation 0 .. 1 (saturation capped at 1).
TRgb HLStoRGB(double hue, double lightness, double saturation);

// The 8-bit value of a 16-bit telemetry level: the cubic through the eight
// staircase wedges, rounded and clamped to 0 .. 255.
struct TWedgeCorrection {
  std::array<double, 4> c{0.0, 1.0 / 64.0, 0.0, 0.0};
  int operator()(double level) const;
};

// The built-in models, in menu order.
extern const std::array<const char*, 4> BuiltInLookupNames;
// A 100 x 256 24-bit lookup of the built-in model; an unknown name gives an
// empty bitmap.
TExtBitmap MakeBuiltInLookupBitmap(const std::string& name);
// "TempToColour" + name + ".bmp" in the folder.
std::filesystem::path LookupFileName(const std::filesystem::path& folder, const std::string& name);
// Writes the built-in lookup into the folder unless its file exists; true
// when a file was written.
bool MakeBuiltInLookup(const std::filesystem::path& folder, const std::string& name);
// The four built-in lookups, each when missing (the folder is created).
void MakeBuiltInLookups(const std::filesystem::path& folder);

class TColourMapping {
 public:
  TColourMapping(std::string name, std::unique_ptr<TExtBitmap> lookup);
  const std::string& Name() const { return name_; }
  const TExtBitmap& Lookup() const { return *lookup_; }
  TExtBitmap& Lookup() { return *lookup_; }
  bool Cloudtop() const { return cloudtop_; }

 private:
  std::string name_;
  std::unique_ptr<TExtBitmap> lookup_;
  bool cloudtop_;
};

// Every "TempToColour*.bmp" of the folders (a name met again in a later
// folder is skipped): the built-in models first in their order, the others
// by name. Unreadable files and files that are not 100 x 256 x 24-bit are
// reported through the user messages and skipped.
std::vector<std::unique_ptr<TColourMapping>> LoadLookups(
    const std::vector<std::filesystem::path>& folders);

// Entry i: the sensor's temperature of value i in degrees C (-273.16 where
// none is known).
void FillCelsiusTable(const TSensor& sensor, std::array<double, 256>& celsius);

struct TThermalFalseColour {
  const TExtBitmap* brightness = nullptr;   // 8-bit, a channel picture
  const TIplImage* temperatures = nullptr;  // 16-bit, both channels side by side
  int firstCleanLine = 0;
  bool temperaturesFromChannelA = false;
  TWedgeCorrection wedge;
  const TSensor* sensor = nullptr;
  const TExtBitmap* lookup = nullptr;  // may be absent: warning, colours unset
  bool rotate180 = false;
  TExtBitmap* falseColour = nullptr;           // 24-bit
  TExtBitmap* irPicture = nullptr;             // optional
  std::array<double, 256>* celsius = nullptr;  // optional
};

// Colours every brightness pixel by the temperature beneath it. Does nothing
// unless the pictures fit together.
void ThermalFalseColour(const TThermalFalseColour& job);

// Vegetation colouring from two visible channels into a 24-bit picture sized
// like channel A.
void VisiblePairColouring(const TExtBitmap& channelA, const TExtBitmap& channelB,
                          TExtBitmap& falseColour, bool greenVegetation);

// Rewrites a cloudtop lookup for the given land temperature (degrees C):
// greys that fade with the difference from the land, the same on all rows.
void CalibrateCloudtop(TExtBitmap& lookup, int landCelsius);

}  // namespace vivurozed
