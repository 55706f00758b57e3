// One two-line element set and its propagation (SGP4 near the earth, SDP4
// for periods of 225 minutes and more), and the newest set of every
// satellite found in a folder of element files.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "orbit/SGP_Math.h"
#include "orbit/VectorOrbit.h"

namespace vivurozed {

// What LookAnglesAt sees: angles in radians, distances km.
struct TSatelliteLook {
  bool southbound = false;  // inertial velocity heading south
  double azimuth = 0, elevation = 0;
  double latitude = 0, longitude = 0;  // sub-satellite point, longitude 0 .. 2pi
  double range = 0, rangeRate = 0;
};

class TSatellite {
 public:
  TSatellite();
  ~TSatellite();
  TSatellite(const TSatellite&) = delete;
  TSatellite& operator=(const TSatellite&) = delete;

  // The caller has checked the lines. Unreadable fields read as 0; a mean
  // motion that is not positive raises EMathError.
  void LoadElements(const std::string& line1, const std::string& line2);
  // Earth radii and earth radii per minute; may raise EMathError for
  // elements that decay into nonsense.
  void PositionAt(double jd, TVector4& position, TVector4& velocity);
  static void ScaleToKm(TVector4& position, TVector4& velocity);
  // True when the elevation is above minElevation (degrees).
  bool LookAnglesAt(TObserver& observer, double minElevation, double jd, TSatelliteLook& look);

  const std::string& CatalogueNumber() const { return catalogue_; }
  const std::string& ElementSetNumber() const { return elementSet_; }
  bool DeepSpace() const { return deepSpace_; }
  double MeanAnomaly() const { return meanAnomaly_; }
  double RightAscension() const { return rightAscension_; }
  double ArgumentOfPerigee() const { return argumentOfPerigee_; }
  double Inclination() const { return inclination_; }
  double Eccentricity() const { return eccentricity_; }
  double MeanMotion() const { return meanMotion_; }              // rad/min
  double FirstDerivative() const { return firstDerivative_; }    // rad/min^2
  double SecondDerivative() const { return secondDerivative_; }  // rad/min^3
  double BStar() const { return bStar_; }
  double Epoch() const { return epoch_; }  // Julian date
  double EpochAsRead() const { return epochAsRead_; }
  double Revolution() const { return revolution_; }
  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  const std::string& KeplerFileName() const { return keplerFileName_; }
  void SetKeplerFileName(const std::string& name) { keplerFileName_ = name; }
  const std::string& Line1() const { return line1_; }
  const std::string& Line2() const { return line2_; }

 private:
  struct TModel;
  void Initialise();
  void NearEarth(double t, TVector4& position, TVector4& velocity);
  void DeepSpacePosition(double t, TVector4& position, TVector4& velocity);

  std::string catalogue_, elementSet_ = "000";
  bool deepSpace_ = false;
  double meanAnomaly_ = 0, rightAscension_ = 0, argumentOfPerigee_ = 0, inclination_ = 0;
  double eccentricity_ = 0, meanMotion_ = 0, firstDerivative_ = 0, secondDerivative_ = 0;
  double bStar_ = 0, epoch_ = 0, epochAsRead_ = 0, revolution_ = 0;
  std::string name_, keplerFileName_, line1_, line2_;
  bool initialise_ = false;
  std::unique_ptr<TModel> model_;
};

// Satellites by name (sorted, names may repeat), each the newest set of its
// catalogue number among the files read.
class TSatelliteList {
 public:
  TSatelliteList() = default;
  // Reads every "*.2li", then "*.tle", then "*.txt" file of the folder
  // (names compared without regard to case) except "TLEnotes.txt".
  explicit TSatelliteList(const std::string& folder);

  // One multi-satellite file: name line, line 1, line 2, repeated.
  void AddFromLines(const std::vector<std::string>& lines, const std::string& fileName);
  void AddFromText(std::string_view text, const std::string& fileName);

  // -1 unless the number has exactly 5 characters; first match in list order.
  int IndexOfCatalogue(const std::string& number) const;
  int Count() const { return static_cast<int>(items_.size()); }
  const std::string& Name(int index) const { return items_.at(index).first; }
  TSatellite& Satellite(int index) const { return *items_.at(index).second; }
  // With a trailing separator.
  const std::string& Folder() const { return folder_; }

 private:
  void AddSet(const std::string& name, const std::string& line1, const std::string& line2,
              const std::string& fileName);
  void Add(std::string name, std::unique_ptr<TSatellite> satellite);
  std::string folder_;
  std::vector<std::pair<std::string, std::unique_ptr<TSatellite>>> items_;
};

}  // namespace vivurozed
