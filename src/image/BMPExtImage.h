// The display and file form of a picture: an 8-bit palette or 24-bit
// blue-green-red bitmap with row access, its conversions to and from library
// images, the half-turn, and BMP reading and writing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "image/ekHistogram.h"
#include "platform/ImageLib.h"

namespace vivurozed {

// A picture file that cannot be read: malformed, truncated or of a kind the
// reader does not handle. The bitmap being loaded is left unchanged.
class EInvalidGraphic : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An operation asked of a bitmap whose pixel format it cannot work on.
class EInvalidGraphicOperation : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The largest picture any reader accepts (64 Mi pixels: 64 MiB at 8 bits,
// 192 MiB at 24); far beyond any pass, it bounds what a small file can ask
// for.
inline constexpr std::int64_t kMaxPicturePixels = std::int64_t(1) << 26;
// "picture too large: W x H (at most 67 megapixels)", or empty when the size
// is within the limit.
std::string PictureSizeRefusal(std::int64_t width, std::int64_t height);

// The value is the number of bits per pixel.
enum TPixelFormat : std::uint8_t {
  pf1bit = 1,
  pf4bit = 4,
  pf8bit = 8,
  pf16bit = 16,
  pf24bit = 24,
  pf32bit = 32,
};

struct TPaletteEntry {
  std::uint8_t red = 0, green = 0, blue = 0, flags = 0;
  bool operator==(const TPaletteEntry&) const = default;
};

// Entry i = (i * 255 / (entries - 1)) in all three colours: the grey ramp.
std::vector<TPaletteEntry> GreyPalette(int entries = 256);

class TExtBitmap {
 public:
  TExtBitmap() = default;  // 0 x 0, 24-bit
  TExtBitmap(int width, int height, TPixelFormat format);

  int Width() const { return width_; }
  int Height() const { return height_; }
  // Resizing keeps the pixels of the top-left part both sizes share; new
  // pixels are 0.
  void SetWidth(int width) { SetSize(width, height_); }
  void SetHeight(int height) { SetSize(width_, height); }
  void SetSize(int width, int height);

  TPixelFormat PixelFormat() const { return format_; }
  // A change of format clears the pixels. Switching to 1, 4 or 8 bits with no
  // palette installs the grey ramp of that depth.
  void SetPixelFormat(TPixelFormat format);

  // Row y (0 = top): RowBytes() bytes, padded to 4, of which the first
  // (Width() x bits + 7) / 8 hold pixels. Throws std::out_of_range.
  std::uint8_t* ScanLine(int y);
  const std::uint8_t* ScanLine(int y) const;
  int RowBytes() const { return rowBytes_; }

  // At most 256 entries; an empty palette is "none".
  const std::vector<TPaletteEntry>& Palette() const { return palette_; }
  void SetPalette(std::vector<TPaletteEntry> palette);

  bool Modified() const { return modified_; }
  void SetModified(bool modified) { modified_ = modified; }

  TekHistogram& Histogram() { return histogram_; }
  const TekHistogram& Histogram() const { return histogram_; }

  // BMP files: 1, 4, 8 (uncompressed or RLE8), 24 and 32-bit, bottom-up or
  // top-down. 1 and 4-bit pictures load as 8-bit with their palette, 32-bit
  // as 24-bit. Anything else throws EInvalidGraphic and changes nothing.
  void LoadFromStream(std::istream& in);
  void LoadFromFile(const std::filesystem::path& name);
  // Bottom-up unless topDown. 16-bit bitmaps have no BMP form
  // (EInvalidGraphicOperation).
  void SaveToStream(std::ostream& out, bool topDown = false) const;
  // A 24-bit bitmap loses its palette first.
  void SaveToFile(const std::filesystem::path& name);

  // A new 8-bit library image (1 channel for 8-bit, 3 for 24-bit) of
  // width x height holding this bitmap with its top-left pixel at (dx, dy);
  // what falls outside is cut, frame pixels the bitmap does not cover are 0.
  // Null for a zero width or height.
  std::unique_ptr<TIplImage> MakeFramedIPL(int width, int height, int dx, int dy) const;
  std::unique_ptr<TIplImage> MakeIPL() const;
  // Becomes a copy of an 8-bit library image of 1 or 3 channels.
  void Assign(const TIplImage& image);
  void Rotate();  // a half-turn; fewer than 3 rows are left alone
  // Installs the 256-entry grey ramp in an 8-bit bitmap that has a palette,
  // unless it already has exactly that.
  void MakeGreyPalette();

 private:
  int width_ = 0, height_ = 0;
  TPixelFormat format_ = pf24bit;
  int rowBytes_ = 0;
  TPixelStore pixels_;
  std::vector<TPaletteEntry> palette_;
  bool modified_ = false;
  TekHistogram histogram_{256};
};

}  // namespace vivurozed
