// Greyscale and BGR picture buffers and the operations the picture code runs
// on them: region copy, exact-ratio resampling, mirroring, integer 2-D
// convolution, histograms and histogram equalisation.
//
// An image is 16-bit unsigned with one channel, or 8-bit with one (grey) or
// three (blue, green, red) channels. Row 0 is the top row; rows are padded to
// a multiple of 8 bytes. An optional region of interest restricts every
// operation to a rectangle of the image; it is clipped to the image when used.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "platform/PixelStore.h"

namespace vivurozed {

// Wrong arguments to an image operation: unsupported formats, images that do
// not match, ratios of the wrong kind.
class EImageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum TIplDepth : std::uint8_t { idDepth8u = 8, idDepth16u = 16 };

enum TIplInterpolation : std::uint8_t {
  iiNearest = 0,
  iiLinear = 1,
  iiCubic = 2,
  iiSuper = 3,  // each output pixel the area average of the input it covers
};

enum TIplMirrorAxis : std::int8_t {
  maTopBottom = 0,  // about the horizontal axis: rows reversed
  maLeftRight = 1,  // about the vertical axis: columns reversed
  maBoth = -1,      // a half-turn
};

// Channel 0 is the only channel any caller restricts to, so it is implied.
struct TIplROI {
  int x = 0, y = 0, width = 0, height = 0;
};

class TIplImage {
 public:
  // Pixels start at 0. Throws EImageError for negative sizes, a 16-bit image
  // with more than one channel, a channel count other than 1 or 3, or a
  // buffer past 2 GiB.
  TIplImage(int width, int height, TIplDepth depth, int channels = 1);

  int Width() const { return width_; }
  int Height() const { return height_; }
  TIplDepth Depth() const { return depth_; }
  int Channels() const { return channels_; }
  int BytesPerPixel() const { return channels_ * (depth_ / 8); }
  int WidthStep() const { return widthStep_; }  // bytes from one row to the next
  const char* ColorModel() const { return channels_ == 3 ? "RGB" : "GRAY"; }
  const char* ChannelSeq() const { return channels_ == 3 ? "BGR" : "GRAY"; }

  std::uint8_t* Data() { return data_.Data(); }
  const std::uint8_t* Data() const { return data_.Data(); }
  std::uint8_t* Row8(int y) { return data_.Data() + std::size_t(y) * widthStep_; }
  const std::uint8_t* Row8(int y) const { return data_.Data() + std::size_t(y) * widthStep_; }
  std::uint16_t* Row16(int y) { return reinterpret_cast<std::uint16_t*>(Row8(y)); }
  const std::uint16_t* Row16(int y) const {
    return reinterpret_cast<const std::uint16_t*>(Row8(y));
  }

  const std::optional<TIplROI>& ROI() const { return roi_; }
  void SetROI(std::optional<TIplROI> roi) { roi_ = roi; }
  // The region of interest clipped to the image, or the whole image.
  TIplROI Rect() const;

  void Fill(int value);  // every channel of every pixel, clamped to the depth

  // Keeps the top-left width x height pixels in place, without a second
  // buffer; the region of interest is dropped. Throws EImageError for a size
  // outside the image.
  void Crop(int width, int height);

 private:
  int width_, height_;
  TIplDepth depth_;
  int channels_;
  int widthStep_;
  TPixelStore data_;
  std::optional<TIplROI> roi_;
};

// An integer kernel: nCols x nRows values, row by row. The value at column c,
// row r multiplies the source pixel (x + c - anchorX, y + r - anchorY); the
// sum is shifted right by shiftR bits and clamped to the pixel range.
struct TIplConvKernel {
  int nCols = 0, nRows = 0, anchorX = 0, anchorY = 0, shiftR = 0;
  std::vector<int> values;
};

// Counts per level: bin v counts pixel value v, for v below Levels(). Keys
// 0 .. Levels() are the bin edges.
struct TIplHistogram {
  explicit TIplHistogram(int levels) : counts(std::size_t(levels > 0 ? levels : 0), 0) {}
  int Levels() const { return int(counts.size()); }
  std::vector<std::int64_t> counts;
};

std::unique_ptr<TIplImage> iplCreateImage(int width, int height, TIplDepth depth, int channels = 1);
std::unique_ptr<TIplImage> iplCloneImage(const TIplImage& src);  // ROI included
TIplROI iplCreateROI(int x, int y, int width, int height);

// Copies the source rectangle into the destination rectangle, top-left to
// top-left; where their sizes differ, the overlap of the two sizes.
void iplCopy(const TIplImage& src, TIplImage& dst);

// Resamples the source rectangle by xDst/xSrc across and yDst/ySrc down into
// the destination rectangle. Output pixels run up to the scaled source size
// (truncated) or the destination size, whichever is smaller; the rest of
// the destination is left alone. Source and destination must be different
// images (EImageError otherwise). Pixel centres are aligned; nearest, linear
// and cubic (Catmull-Rom) repeat the edge pixels beyond the border, cubic
// overshoot is clamped to the pixel range; results are rounded, halves to
// even. Decimate needs both ratios at most 1, zoom at least 1.
void iplDecimate(const TIplImage& src, TIplImage& dst, int xDst, int xSrc, int yDst, int ySrc,
                 TIplInterpolation interpolation);
void iplZoom(const TIplImage& src, TIplImage& dst, int xDst, int xSrc, int yDst, int ySrc,
             TIplInterpolation interpolation);

// Mirrors the source rectangle into the destination rectangle of the same
// size. src and dst may be the same image.
void iplMirror(const TIplImage& src, TIplImage& dst, TIplMirrorAxis axis);

// Validates the kernel: positive size, anchor inside, shift 0 .. 31, value
// count nCols x nRows, |value| <= 65535, at most 64 x 64.
std::unique_ptr<TIplConvKernel> iplCreateConvKernel(int nCols, int nRows, int anchorX, int anchorY,
                                                    std::vector<int> values, int shiftR);
// Convolves the source rectangle into the destination rectangle of the same
// size; src and dst may be the same image. Neighbours are read from the whole
// source image, and beyond its border the nearest edge pixel stands in. A
// null kernel leaves the destination unchanged.
void iplConvolve2D(const TIplImage& src, TIplImage& dst, const TIplConvKernel* kernel);

// Counts the one-channel source rectangle into hist (zeroed first); values
// at or above hist.Levels() are not counted.
void iplComputeHisto(const TIplImage& src, TIplHistogram& hist);
// Remaps the source rectangle into the destination rectangle so that the
// levels spread over the whole pixel range in proportion to the (possibly
// edited) counts: value v becomes round(max * (C(v) - C0) / (T - C0)), C(v)
// the counts up to and including v, C0 those of the lowest occupied level
// and T the total. So with equal counts over lo .. hi the mapping is a
// straight line from lo -> 0 to hi -> max. Values at or above hist.Levels()
// become max; negative counts count as 0. With fewer than two occupied
// levels the pixels are copied unchanged.
void iplHistoEqualize(const TIplImage& src, TIplImage& dst, const TIplHistogram& hist);

}  // namespace vivurozed
