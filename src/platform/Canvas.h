// Drawing on pictures: a small canvas with a pen, a brush and a font, and the
// few shapes and texts the overlay needs. The canvas on an 8-bit palette
// picture draws without smoothing, so every colour lands on exactly one
// palette index.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace vivurozed {

struct TColour {
  std::uint8_t red = 0, green = 0, blue = 0;
  bool operator==(const TColour&) const = default;
};

enum TBrushStyle : std::uint8_t { bsSolid = 0, bsClear = 1 };

struct TCanvasPoint {
  int x = 0, y = 0;
  bool operator==(const TCanvasPoint&) const = default;
};

// The state (pen, brush, font, pen position) lives here; a canvas on a
// particular surface supplies the drawing.
class TCanvas {
 public:
  virtual ~TCanvas() = default;

  virtual int Width() const = 0;
  virtual int Height() const = 0;

  TColour PenColour() const { return penColour_; }
  void SetPenColour(TColour colour) { penColour_ = colour; }
  int PenWidth() const { return penWidth_; }
  void SetPenWidth(int width) { penWidth_ = width < 1 ? 1 : width; }

  TColour BrushColour() const { return brushColour_; }
  void SetBrushColour(TColour colour) { brushColour_ = colour; }
  TBrushStyle BrushStyle() const { return brushStyle_; }
  void SetBrushStyle(TBrushStyle style) { brushStyle_ = style; }

  // Size in points at 96 pixels per inch, as the desktop sizes fonts.
  const std::string& FontName() const { return fontName_; }
  int FontSize() const { return fontSize_; }
  bool FontBold() const { return fontBold_; }
  void SetFont(const std::string& name, int size, bool bold = false);
  TColour FontColour() const { return fontColour_; }
  void SetFontColour(TColour colour) { fontColour_ = colour; }

  // Lines include both end points.
  void MoveTo(int x, int y) { penPos_ = {x, y}; }
  void LineTo(int x, int y);
  virtual void Polyline(std::span<const TCanvasPoint> points) = 0;
  // The ellipse inside the box x1 <= x < x2, y1 <= y < y2, outlined with the
  // pen and filled with the brush unless it is clear.
  virtual void Ellipse(int x1, int y1, int x2, int y2) = 0;
  // The box x1 <= x < x2, y1 <= y < y2 in the brush colour.
  virtual void FillRect(int x1, int y1, int x2, int y2) = 0;
  // UTF-8 text with its top-left corner at (x, y) in the font colour; a solid
  // brush fills the text's box first.
  virtual void TextOut(int x, int y, const std::string& text) = 0;
  virtual int TextWidth(const std::string& text) = 0;
  virtual int TextHeight(const std::string& text) = 0;

 private:
  TColour penColour_{}, brushColour_{255, 255, 255}, fontColour_{};
  int penWidth_ = 1;
  TBrushStyle brushStyle_ = bsSolid;
  std::string fontName_ = "Arial";
  int fontSize_ = 8;
  bool fontBold_ = false;
  TCanvasPoint penPos_{};
};

// The palette index a colour lands on: the exact entry when there is one,
// otherwise the nearest.
std::uint8_t NearestPaletteIndex(std::span<const TColour> palette, TColour colour);

// A canvas drawing straight into an 8-bit palette picture of the given rows
// (stride bytes apart, a multiple of 4). The pixels must outlive the canvas
// and keep their place. Works without a display.
std::unique_ptr<TCanvas> MakePaletteCanvas(std::uint8_t* pixels, int width, int height, int stride,
                                           std::span<const TColour> palette);

// A canvas on a 24-bit picture whose rows hold blue, green, red bytes.
std::unique_ptr<TCanvas> MakeRgbCanvas(std::uint8_t* pixels, int width, int height, int stride);

}  // namespace vivurozed
