// The earth-located overlay of a NOAA pass: which satellite and when, from
// the recording's name and file times; the earth under every picture line;
// the map fitted to the picture; coastlines, borders, grid, home marker and
// minute ticks drawn into an 8-bit overlay bitmap of fixed colour codes.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "image/BMPExtImage.h"
#include "map/FitMap.h"
#include "map/MapWithWarp.h"
#include "orbit/Orbits.h"
#include "platform/Diagnostics.h"

namespace vivurozed {

class TCartogList;

// Where the satellite stands seen from home, in degrees.
struct TLookAnglesResult {
  double azimuth = 0, elevation = 0;
  double rangeRate = 0;  // km/s
  bool southBound = false;
};

struct TLookRecord {
  TDateTime time = 0;
  float azimuth = 0, elevation = 0;  // degrees, from home
};

// What the pass identification found.
struct TPassPrediction {
  std::string satellite;
  TDateTime start = 0, aos = 0, mid = 0, end = 0;
  double maxElevation = 0;  // degrees
  bool southBound = false;
  bool aboveHorizon = false;  // the maximum elevation exceeds 5 degrees
};

struct TOverlayMakerSettings {
  std::string activeSatellites = "NOAA-12,NOAA-15,NOAA-17,NOAA-18,NOAA-19";
  std::string twoLineDataPath, keplerFolder;
  double aosNorth = 0, aosSouth = 0;  // degrees
  double homeLatitude = 55.9, homeLongitude = -3.2;
  std::string homeCaption;
  char marker = '+';
  bool namesInLocalTime = false;
  int timeZoneMinutes = 0;  // local time minus UTC
};

class TOverlayMaker {
 public:
  static constexpr int kWidth = 1040;
  static constexpr int kChannelColumn = 82;  // where the 909 picture pixels start
  static constexpr int kChannelWidth = 909;

  TOverlayMaker(TDiagnostics& log, TOverlayMakerSettings settings);
  ~TOverlayMaker();
  TOverlayMaker(const TOverlayMaker&) = delete;
  TOverlayMaker& operator=(const TOverlayMaker&) = delete;

  const TOverlayMakerSettings& Settings() const { return settings_; }
  void SetHome(double latitude, double longitude);
  void SetKeplerFolder(const std::string& folder);
  void SetTwoLineDataPath(const std::string& folder);

  // The pass a recording holds. satellite and start may be given (start 0:
  // from the name and the file times). False, with the values still filled,
  // when the file is missing or the pass stays within 5 degrees of the horizon.
  bool DecodeFilename(const std::filesystem::path& fileName, int durationSeconds,
                      const std::string& satellite, TDateTime start, TPassPrediction& pass);

  // Predicts the lines from start on, fits the map and draws the overlay.
  // False (overlay empty) when no orbit could be had.
  bool MakeOverlay(const std::string& satellite, int minutes, TDateTime start);

  const TExtBitmap& OverlayBitmap() const { return overlay_; }
  TExtBitmap& OverlayBitmap() { return overlay_; }
  bool Northbound() const { return northbound_; }
  TDateTime Start() const { return start_; }
  int LineCount() const { return static_cast<int>(earthPoints_.size()); }
  const std::vector<TLocationRecord>& EarthPoints() const { return earthPoints_; }
  const std::vector<TLookRecord>& LookAngles() const { return lookAngles_; }
  const TWarpedMapping& Mapping() const { return mapping_; }
  const TOrbit& Orbit() const { return orbit_; }
  double MeanHeight() const { return meanHeight_; }

  // Earth under column x of the overlay bitmap on line y.
  bool GetLatLon(int x, int y, double& latitude, double& longitude) const;
  // 408 bytes a line: 51 (latitude, longitude) float pairs at picture columns
  // 4 + 18k of the channel. Lines from first, count of them (all by default).
  // False when there are no lines; a file that cannot be written throws
  // std::runtime_error with the reason.
  bool SaveLocationData(const std::filesystem::path& fileName, int first = 0, int count = -1);

 private:
  double ElevationAt(const std::string& satellite, TDateTime t);
  bool ClosestApproach(TDateTime from, TDateTime& when, double& elevation, bool& southBound);
  TDateTime ElevationCrossing(TDateTime from, double threshold, bool forward);
  bool Look(TDateTime t, TLookAnglesResult& result);
  void Draw(int lines);
  void DrawMinuteTicks();

  TDiagnostics& log_;
  TOverlayMakerSettings settings_;
  TOrbit orbit_;
  TWarpedMapping mapping_;
  TResidualArray residuals_;
  std::unique_ptr<TCartogList> coastlines_;
  TExtBitmap overlay_;
  std::vector<TLocationRecord> earthPoints_;
  std::vector<TLookRecord> lookAngles_;
  std::string satellite_;
  TDateTime start_ = 0;
  double meanHeight_ = 0;
  bool northbound_ = false;
};

// "NOAA-10" ... "NOAA-19": the satellites a pass may be of, in order.
std::vector<std::string> NoaaSatelliteNames();

// One caption line of the overlay from the fields the mask selects.
std::string ComposeTextLine(int mask, const std::string& satellite, int timeZoneMinutes,
                            int fieldSpacing, const std::string& userText,
                            const std::string& location, double elevation, bool northbound,
                            const std::string& dateFormat, TDateTime aos, TDateTime mid,
                            TDateTime los);

// Bits of the caption masks.
enum TTextField : int {
  tfName = 1,
  tfDate = 2,
  tfPassTime = 4,
  tfDirection = 8,
  tfElevation = 16,
  tfAt = 32,
  tfUtc = 64,
  tfLocal = 128,
  tfUserText = 256,
  tfMidPass = 512,
  tfLocation = 1024,
};

}  // namespace vivurozed
