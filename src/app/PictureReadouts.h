// What the cursor reads over a displayed picture: the temperature of the
// pixel or the signal-to-noise ratio of its line, and the ground distance of
// a measuring drag. The earth position joins them once lines are located.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "image/BMPExtImage.h"

namespace vivurozed {

// What a run hands over for the readouts when its pictures are ready.
struct TReadoutData {
  TExtBitmap infrared{0, 0, pf8bit};  // 8-bit, sized like the channel pictures; may be empty
  std::array<double, 256> celsius{};  // degrees C of each infrared value
  std::vector<int> spaceBDeviation;   // one per decoded line
};

// "12°C", or not metric "54°F".
std::string TemperatureText(double celsius, bool metric);
// The noise of a line from its space B deviation, taken as at least 20:
// "SNR = 58 dB".
std::string SnrText(double spaceBDeviation);
// "Distance: ~330 km" (or miles) for a drag of dx, dy pixels on a picture
// 1040 (3.3 km a pixel) or 1560 pixels wide; empty for any other width.
std::string DistanceText(int dx, int dy, int pictureWidth, bool metric);
// The right-hand readout at (x, y) of a displayed picture width x height:
// the temperature when the infrared picture has that size, else the SNR of
// the line when there is one record per displayed line, else empty.
std::string ValueReadout(const TReadoutData& data, int width, int height, int x, int y,
                         bool metric);

}  // namespace vivurozed
