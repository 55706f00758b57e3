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

std::string PositionText(const TOverlayMaker& maker, const TOverlayPlacement& p, int width,
                         int height, int x, int y) {
  if (x < 0 || y < 0 || x >= width || y >= height) return {};
  int px = (p.turned ? width - 1 - x : x) + p.pixelOffset;
  int py = (p.turned ? height - 1 - y : y) + p.lineOffset;
  // The main picture carries one overlay over each channel.
  const int channel = p.scaled ? 3 * TOverlayMaker::kWidth / 2 : TOverlayMaker::kWidth;
  if (width != channel && width != 2 * channel) return {};
  if (px < 0 || px >= width || py < 0) return {};
  px %= channel;
  if (p.scaled) px = 2 * px / 3, py = 2 * py / 3;
  const auto& looks = maker.LookAngles();
  std::string angles;
  if (py < static_cast<int>(looks.size())) {
    const TLookRecord& look = looks[std::size_t(py)];
    angles = Format("Az:%.0f\xC2\xB0  El:%.0f\xC2\xB0", look.azimuth, look.elevation);
  }
  double latitude = 0, longitude = 0;
  if (!maker.GetLatLon(px, py, latitude, longitude)) return angles;
  std::string text = Format("Lat:%.1f\xC2\xB0  Lon:%.1f\xC2\xB0", latitude, longitude);
  if (!angles.empty()) text += ",  " + angles;
  return text;
}

}  // namespace vivurozed
