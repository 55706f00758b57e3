// Composes a displayed or saved picture from a processed picture and the
// overlay bitmap of the overlay maker: grid, boundary and graphic pixels,
// cloud-top land and sea colours, the caption, the temperature strip and
// the distance scale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/BMPExtImage.h"
#include "platform/Canvas.h"
#include "platform/Diagnostics.h"

namespace vivurozed {

// Pixel values of the overlay bitmap: indices of its fixed 20-colour palette.
enum TOverlayCode : std::uint8_t {
  ocBlack = 0,
  ocLand = 2,
  ocSea = 4,
  ocGrey = 12,
  ocGrid = 13,
  ocBoundary = 15,
  ocGraphic = 18,
  ocWhite = 19,
};

// The 20-colour palette every overlay bitmap carries, so each drawing colour
// lands on a fixed index.
const std::vector<TPaletteEntry>& OverlayPalette();

// First row whose column-60 pixel is black while the next row's is white:
// the minute tick. Height - 1 when there is none.
int FindMinuteMarkerLine(const TExtBitmap& overlay);

// Colours as the settings store keeps them: 0x00BBGGRR.
TColour ColourFromStored(std::int32_t stored);

struct TOverlayFont {
  std::string name = "Arial";
  int size = 10;
  int style = 0;  // bit 0 bold, bit 1 italic
  bool operator==(const TOverlayFont&) const = default;
};

struct TOverlayOptions {
  std::vector<std::string> caption;
  TOverlayFont font;
  TColour fontColour{0, 255, 255};
  int textLocation = 0;  // 0 hide, 1..3 top left/centre/right, 4..6 bottom
  bool separateBand = false;
  TColour bandColour{};
  std::optional<TColour> grid, boundary, graphic;  // empty when switched off
  TColour land{140, 140, 140}, sea{0, 0, 128};
  bool cloudTop = false;
  bool soft = false;
  bool largeImage = false;
  bool metric = true;
  bool cropBorders = false;
  const TExtBitmap* lookup = nullptr;  // the calibration strip's colours, or none
  bool scale = false;
  bool rotate180 = false;
  int lineOffset = 0, pixelOffset = 0;
  TDiagnostics* log = nullptr;
};

// The overlay is widened or narrowed to the picture's width first (it is
// changed in place). Returns the height of a band added on top.
int RenderOverlay(const TExtBitmap& picture, TExtBitmap& overlay, TExtBitmap& destination,
                  const TOverlayOptions& options);

// Height of a caption block of `lines` lines.
int TextBlockHeight(const TOverlayFont& font, int lines, bool large);

// Metric unless the locale says otherwise (LC_MEASUREMENT).
bool LocaleIsMetric();

}  // namespace vivurozed
