// One satellite pass as the overlay sees it: the satellite picked by name,
// the element set nearest the pass, where the satellite is seen from home,
// and where each point of a scan line falls on the earth.
#pragma once

#include <array>
#include <memory>
#include <span>
#include <string>

#include "orbit/Keplers.h"
#include "orbit/SGP_Time.h"
#include "orbit/Satellite.h"
#include "orbit/VectorOrbit.h"

namespace vivurozed {

inline constexpr int kScanLinePoints = 51;  // scanner offsets -1000, -960 .. 1000
// Both coordinates of a scan point whose ray misses the earth.
inline constexpr float kNoEarthPoint = 999.0f;

struct TEarthPoint {
  float longitude = 0, latitude = 0;  // degrees, longitude -180 .. 180
};
struct TLatLonPoint {
  float latitude = 0, longitude = 0;
};
// Point 25 lies under the satellite.
using TScanLinePoints = std::array<TEarthPoint, kScanLinePoints>;
// The order the overlay keeps per picture line (408 bytes).
using TLocationRecord = std::array<TLatLonPoint, kScanLinePoints>;

inline bool IsEarthPoint(const TEarthPoint& p) {
  return p.latitude != kNoEarthPoint;
}
inline bool IsEarthPoint(const TLatLonPoint& p) {
  return p.latitude != kNoEarthPoint;
}
// Degrees 0 .. 360 to -180 .. 180; 180 stays 180.
double WrapLongitude(double degrees);

class TOrbit {
 public:
  TOrbit();
  ~TOrbit();
  TOrbit(const TOrbit&) = delete;
  TOrbit& operator=(const TOrbit&) = delete;

  // Normalises names such as "NOAA 15 [B]" or "NOAA19"
  // to "NOAA-15" and picks the short code, catalogue number and scanner
  // half-angle; other names are kept with an empty catalogue number.
  void SetSatelliteName(const std::string& name);
  const std::string& SatelliteName() const { return satelliteName_; }
  const std::string& ShortCode() const { return shortCode_; }
  const std::string& CatalogueNumber() const { return catalogue_; }
  float ScanHalfAngle() const { return scanHalfAngle_; }  // degrees

  // Loads the element set nearest the time; false (and the user told why)
  // when there is none.
  bool LoadForTime(TDateTime t);
  bool Valid() const { return valid_; }
  double KeplersOffset() const { return keplersOffset_; }  // days, set epoch minus wanted time
  TDateTime WantedTime() const { return wantedTime_; }
  const std::string& KeplerFileName() const { return keplerFileName_; }
  const std::string& UpdatesFileName() const { return updatesFileName_; }
  TSatellite* Satellite() const { return satellite_.get(); }

  TKeplerData& KeplerData() { return keplerData_; }
  const std::string& KeplerFolder() const { return keplerData_.KeplerFolder(); }
  void SetKeplerFolder(const std::string& folder) { keplerData_.SetKeplerFolder(folder); }
  const std::string& TwoLineDataPath() const { return keplerData_.TwoLineDataPath(); }
  void SetTwoLineDataPath(const std::string& folder) { keplerData_.SetTwoLineDataPath(folder); }

  // Angles in radians; raises EMathError "No valid orbit data" without a set.
  // True when the elevation is above minElevation (degrees).
  bool LookAngles(TObserver& observer, double minElevation, double jd, TSatelliteLook& look);

  // The satellite's height (km) and the earth points of the scan line at
  // time t. Without a valid set: false, outputs untouched.
  bool ScanLineEarthPoints(TDateTime t, double& height, TScanLinePoints& points);
  bool ScanLineEarthPoints(TDateTime t, double& height, TLocationRecord& record);
  // The same at the scanner offsets scanTable[454 + 18 i], i = -25 .. 25:
  // a table by picture column, at least 905 entries (std::invalid_argument).
  bool ScanLineEarthPointsAt(std::span<const double> scanTable, TDateTime t, double& height,
                             TScanLinePoints& points);
  bool ScanLineEarthPointsAt(std::span<const double> scanTable, TDateTime t, double& height,
                             TLocationRecord& record);

 private:
  struct TScanAngles {
    std::array<double, kScanLinePoints> cosTheta, sinTheta;
  };
  void ScanAngles(const double* offsets, TScanAngles& angles) const;
  bool EarthPoints(const TScanAngles& angles, TDateTime t, double& height, TScanLinePoints& points);

  std::string catalogue_, keplerFileName_, updatesFileName_;
  TKeplerData keplerData_;
  double keplersOffset_ = 0;
  TDateTime wantedTime_ = 0;
  std::unique_ptr<TSatellite> satellite_;
  std::string satelliteName_, shortCode_;
  float scanHalfAngle_ = 55.37f;
  bool valid_ = false;
  TScanAngles fixedAngles_{};
  float fixedAnglesFor_ = 0;
};

}  // namespace vivurozed
