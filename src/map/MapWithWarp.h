// The map projection of scanned pictures: an azimuthal equidistant frame
// around the middle of the pass, warped by fitted polynomials and a grid of
// residual corrections onto the scanner's geometry. On APT pictures it
// reproduces how the 909 pixels of a line average the scanner's 2048
// samples, coarser toward the edges.
#pragma once

#include <array>
#include <vector>

#include "map/ekMapping.h"

namespace vivurozed {

struct TResidual {
  float dx = 0, dy = 0;
  bool operator==(const TResidual&) const = default;
};
// One row per picture line, one correction per earth point of the line.
using TResidualRow = std::array<TResidual, 51>;
using TResidualArray = std::vector<TResidualRow>;

// The scanner sample offset from the centre (sample - 1024, fractional where
// a pixel averages several samples) that APT pixel u (-454 ... 454) shows.
double AptPixelSampleOffset(int u);

class TWarpedMapping : public TMapping {
 public:
  // Modes: 1 full-resolution scanner lines, 2 reduced lines (ground units
  // only), 3 APT lines. Mode 0 chooses 1 or 2 from the ground step.
  enum TMode { wmChoose = 0, wmScanner = 1, wmReduced = 2, wmApt = 3 };
  static constexpr int kAptHalfWidth = 454;

  TWarpedMapping() = default;

  // Builds the tables and resets the warps and residuals. A half-angle of 0
  // means 55.37 degrees. Throws EMathError unless the ground step and the
  // satellite height are positive.
  void Initialise(int mode, int midLine, double halfAngle, double groundStep,
                  double satelliteHeight, double centreLatitude, double centreLongitude);

  int GetWidth() const override { return columns_; }
  // To-picture position, rounded.
  bool Project(float latitude, float longitude, int& x, int& y) const override;
  // toPicture clear: x in ground units across the line (0 ... GetWidth()),
  // y in lines. Set: x in picture pixels of the channel (0 ... 908 on APT),
  // and only points inside the scanned strip succeed.
  bool Project(float latitude, float longitude, bool toPicture, float& x, float& y) const;

  void SetRotation(double degrees);
  void SetVerticalWarp(double b2, double b1, double b0);
  void SetHorizontalWarp(double h1, double h2, double h3);
  void SetSkew(double s0, double s1, double s2);
  // Corrections measured at the earth points of each line: they are applied
  // at the picture columns of those points, SampleColumn(k).
  void SetResiduals(TResidualArray grid);

  int Mode() const { return mode_; }
  int MidLine() const { return midLine_; }
  bool CentreSet() const { return centreLongitude_ != kUnset; }
  double Rotation() const { return rotation_; }
  // S(i), i = -2048 ... 2047: scanner sample position of ground step i.
  double SampleTable(int i) const { return samples_[std::size_t(i + 2048)]; }
  // G(p), p = -1024 ... 1023: ground step of scanner sample offset p.
  double GroundTable(int p) const { return ground_[std::size_t(p + 1024)]; }
  // Ground position of APT pixel u in units of three ground steps.
  double AptGround(int u) const { return aptGround_[std::size_t(u + kAptHalfWidth)]; }
  // APT pixel at ground position g, -2048 ... 2047.
  double AptInverse(int g) const { return aptInverse_[std::size_t(g + 2048)]; }
  // Picture column of the earth point k (scanner offset 40k - 1000).
  double SampleColumn(int k) const { return sampleColumns_[std::size_t(k)]; }
  const TResidualArray& Residuals() const { return residuals_; }

 private:
  static constexpr double kUnset = -123456;
  void BuildSampleTable(double groundStep, double satelliteHeight, double halfAngle);
  void BuildGroundTable();
  void BuildAptTables();

  int mode_ = wmApt;
  int midLine_ = 0;
  int columns_ = 2;
  double centreLatitude_ = 0, centreLongitude_ = kUnset;
  double sinCentre_ = 0, cosCentre_ = 1;
  double rotation_ = 0, sinRotation_ = 0, cosRotation_ = 1;
  double b2_ = 0, b1_ = 1, b0_ = 0;
  double h3_ = 0, h2_ = 0, h1_ = 1;
  double s2_ = 0, s1_ = 0, s0_ = 0;
  std::vector<double> samples_ = std::vector<double>(4096);
  std::vector<double> ground_ = std::vector<double>(2048);
  std::vector<double> aptGround_ = std::vector<double>(2 * kAptHalfWidth + 1);
  std::vector<double> aptInverse_ = std::vector<double>(4096);
  std::array<double, 51> sampleColumns_{};
  TResidualArray residuals_;
  std::array<double, 51> residualColumns_{};
};

}  // namespace vivurozed
