#include "app/PictureReadouts.h"

#include <algorithm>
#include <cmath>

#include "platform/Diagnostics.h"

namespace vivurozed {

std::string TemperatureText(double celsius, bool metric) {
  return metric ? Format("%.0f°C", celsius) : Format("%.0f°F", 1.8 * celsius + 32);
}

std::string SnrText(double spaceBDeviation) {
  const double noise = std::max(spaceBDeviation, 20.0);
  return Format("SNR = %.0f dB", 20 * std::log10(16384 / noise));
}

std::string DistanceText(int dx, int dy, int pictureWidth, bool metric) {
  double factor = 0;
  if (pictureWidth == 1040) factor = 1;
  if (pictureWidth == 1560) factor = 1.5;
  if (factor == 0) return {};
  double d = std::hypot(double(dx), double(dy)) * 3.3 / factor;
  if (!metric) d /= 1.609;
  const long rounded = std::lrint(std::nearbyint(d / 5) * 5);
  return "Distance: ~" + std::to_string(rounded) + (metric ? " km" : " miles");
}

std::string ValueReadout(const TReadoutData& data, int width, int height, int x, int y,
                         bool metric) {
  if (x < 0 || y < 0 || x >= width || y >= height) return {};
  const TExtBitmap& ir = data.infrared;
  if (ir.Height() > 0 && ir.Width() == width && ir.Height() == height &&
      ir.PixelFormat() == pf8bit) {
    return TemperatureText(data.celsius[ir.ScanLine(y)[x]], metric);
  }
  if (!data.spaceBDeviation.empty() && static_cast<int>(data.spaceBDeviation.size()) == height) {
    return SnrText(data.spaceBDeviation[static_cast<std::size_t>(y)]);
  }
  return {};
}

}  // namespace vivurozed
