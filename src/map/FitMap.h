// Tunes the warped map projection to one pass from the earth points of its
// picture lines: centre, rotation, vertical and horizontal warps, skew, and a
// grid of residual corrections.
#pragma once

#include <array>
#include <span>

#include "map/MapWithWarp.h"

namespace vivurozed {

class TDiagnostics;

struct TEarthPoint {
  float latitude = 0, longitude = 0;  // degrees
};
// One picture line: the earth under scanner offsets -1000, -960 ... 1000.
using TEarthPointRecord = std::array<TEarthPoint, 51>;
static_assert(sizeof(TEarthPointRecord) == 408);

// Fits the mapping to the lines (one record per picture line), logging each
// step. Fails, leaving the mapping unwarped, with fewer than 58 lines or
// points that do not move; throws EMathError for a height that is not
// positive.
bool FitMapToImage(std::span<const TEarthPointRecord> lines, TDiagnostics& log,
                   TResidualArray& residuals, TWarpedMapping& mapping, int mode, double halfAngle,
                   double satelliteHeight);

// Distance (km, on a sphere of the equatorial radius) and initial bearing
// (degrees from north, 0 ... 360) from point 1 to point 2.
void GreatCircle(double latitude1, double longitude1, double latitude2, double longitude2,
                 double& distance, double& bearing);

}  // namespace vivurozed
