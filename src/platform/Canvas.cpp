#include "platform/Canvas.h"

#include <array>

namespace vivurozed {

void TCanvas::SetFont(const std::string& name, int size, bool bold) {
  fontName_ = name;
  fontSize_ = size;
  fontBold_ = bold;
}

void TCanvas::LineTo(int x, int y) {
  const std::array<TCanvasPoint, 2> line{penPos_, TCanvasPoint{x, y}};
  Polyline(line);
  penPos_ = {x, y};
}

std::uint8_t NearestPaletteIndex(std::span<const TColour> palette, TColour colour) {
  std::size_t best = 0;
  long bestDistance = -1;
  for (std::size_t i = 0; i < palette.size() && i < 256; ++i) {
    const long dr = long(palette[i].red) - colour.red;
    const long dg = long(palette[i].green) - colour.green;
    const long db = long(palette[i].blue) - colour.blue;
    const long distance = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || distance < bestDistance) {
      best = i;
      bestDistance = distance;
      if (distance == 0) break;
    }
  }
  return static_cast<std::uint8_t>(best);
}

}  // namespace vivurozed
