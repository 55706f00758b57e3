// What the cursor reads over a displayed picture: the earth position and
// the satellite's look angles of its line, the temperature of the pixel or
// the signal-to-noise ratio of its line, and the ground distance of a
// measuring drag.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "image/BMPExtImage.h"
#include "map/OverlayMaker.h"

namespace vivurozed {

// How the pixels of one picture meet the overlay maker's lines and columns.
struct TOverlayPlacement {
  // Overlay row and column of the picture's first pixel, before turning.
  int lineOffset = 0, pixelOffset = 0;
  int top = 0;          // the caption band above the picture in its overlay version
  bool turned = false;  // the picture is shown turned by 180 degrees
  bool scaled = false;  // the overlay was scaled by 1.5 for a large picture
};

enum TPictureTab : int { ptMain = 0, ptChannelA, ptChannelB, ptFalseColour };

// What a run hands over for the readouts when its pictures are ready.
struct TReadoutData {
  TExtBitmap infrared{0, 0, pf8bit};  // 8-bit, sized like the channel pictures; may be empty
  std::array<double, 256> celsius{};  // degrees C of each infrared value
  std::vector<int> spaceBDeviation;   // one per decoded line
  // The earth under the lines, when the run located them; never changed
  // once handed over.
  std::shared_ptr<const TOverlayMaker> maker;
  std::array<TOverlayPlacement, 4> placements{};  // by TPictureTab
};

// "Lat:55.9°  Lon:-3.2°,  Az:123°  El:45°" at (x, y) of a picture width x
// height (caption band excluded); the look angles alone beside the earth's
// columns; empty off the located lines or for pictures of other widths.
std::string PositionText(const TOverlayMaker& maker, const TOverlayPlacement& placement, int width,
                         int height, int x, int y);

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
