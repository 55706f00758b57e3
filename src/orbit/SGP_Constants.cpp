#include "orbit/SGP_Constants.h"

#include <cmath>

namespace vivurozed {

const double kKe = std::sqrt(1434962880.0 / (kEarthRadius * kEarthRadius * kEarthRadius));

}  // namespace vivurozed
