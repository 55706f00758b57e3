// The frame every map projection of the overlay plugs into: the size of the
// target picture, latitude/longitude to picture position, and the grid of
// meridians and parallels with their labels.
#pragma once

#include <memory>
#include <string>

#include "platform/Canvas.h"

namespace vivurozed {

class TExtBitmap;

// The degree sign of labels and log lines.
const std::string& DegreeSign();

// A canvas on an 8-bit palette bitmap, drawing with the bitmap's palette,
// or on a 24-bit one (EInvalidGraphicOperation for other formats). The bitmap is marked
// modified. The canvas draws into the pixels as they are now: anything that
// replaces them (a new size or format, Rotate, Assign, loading) needs a new
// canvas.
std::unique_ptr<TCanvas> MakeBitmapCanvas(TExtBitmap& bitmap);

class TMapping {
 public:
  TMapping() = default;
  virtual ~TMapping() = default;
  TMapping(const TMapping&) = delete;
  TMapping& operator=(const TMapping&) = delete;

  // Columns of the map; the base answers the width field.
  virtual int GetWidth() const { return width_; }
  // Picture position of a point; the base frame has no projection of its own.
  virtual bool Project(float latitude, float longitude, int& x, int& y) const;
  virtual bool Unproject(int x, int y, float& latitude, float& longitude) const;

  int Height() const { return height_; }
  void SetHeight(int height);
  int Width() const { return width_; }
  void SetWidth(int width) { width_ = width; }
  float Eccentricity() const { return eccentricity_; }
  void RecomputeFrame();

  // Meridians every lonStep and parallels every latStep degrees in the line
  // colour, and the meridians' labels where latitude 0 falls in the picture.
  void DrawGrid(TCanvas& canvas, int lonStep, TColour lineColour, TColour labelColour,
                int latStep) const;
  // Text centred on (x, y), outlined in black. Labels that would reach past
  // the right edge (the width field, or the canvas when the field is 0) or
  // start left of the picture are left out.
  void DrawHaloText(TCanvas& canvas, int x, int y, const std::string& text, TColour colour) const;

 private:
  int width_ = 0;
  int height_ = 0;
  float eccentricity_ = 0;
};

}  // namespace vivurozed
