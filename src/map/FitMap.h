// Tunes the warped map projection to one pass from the earth points of its
// picture lines: centre, rotation, vertical and horizontal warps, skew, and a
// grid of residual corrections.
#pragma once

#include <array>
#include <span>

#include "map/MapWithWarp.h"
#include "orbit/Orbits.h"

namespace vivurozed {

class TDiagnostics;

// One picture line (TLocationRecord): the earth under scanner offsets -1000,
// -960 ... 1000, latitude before longitude.
static_assert(sizeof(TLocationRecord) == 408);

// Fits the mapping to the lines (one record per picture line), logging each
// step. Fails, leaving the mapping unwarped, with fewer than 58 lines.
bool FitMapToImage(std::span<const TLocationRecord> lines, TDiagnostics& log,
                   TResidualArray& residuals, TWarpedMapping& mapping, int mode, double halfAngle,
                   double satelliteHeight);

// Distance (km, on a sphere of the equatorial radius) and initial bearing
// (degrees from north, 0 ... 360) from point 1 to point 2.
void GreatCircle(double latitude1, double longitude1, double latitude2, double longitude2,
                 double& distance, double& bearing);

}  // namespace vivurozed
