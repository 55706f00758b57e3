// PNG files through libpng. TPngImage holds one decoded or to-be-encoded
// picture with its header values and text chunks; SaveBitmapAsPNG and
// LoadPNGIntoBitmap are what the rest of the program calls.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

namespace vivurozed {

class TExtBitmap;

// Every PNG failure; the message says what went wrong.
class EPngError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Stage text and percentage done.
using TPngProgressEvent = std::function<void(const std::string& stage, int percent)>;

struct TPngColour {
  std::uint8_t red = 0, green = 0, blue = 0;
  bool operator==(const TPngColour&) const = default;
};

// PNG colour types.
enum TPngColourType : std::uint8_t {
  pctGrey = 0,
  pctRGB = 2,
  pctPalette = 3,
  pctGreyAlpha = 4,
  pctRGBAlpha = 6,
};

// libpng's filter bits, for FilterMask.
enum TPngFilter : std::uint8_t {
  pfNone = 0x08,
  pfSub = 0x10,
  pfUp = 0x20,
  pfAverage = 0x40,
  pfPaeth = 0x80,
};

// zlib's matching, for Strategy. Run lengths only finds repeats of the byte
// before; after the row filters that is nearly all a picture offers, at a
// fraction of the time of the full search.
enum TPngStrategy : std::uint8_t {
  psDefault = 0,
  psRunLength = 3,
};

class TPngImage {
 public:
  TPngImage() = default;

  // Header values.
  int BitDepth() const { return bitDepth_; }
  int ColourType() const { return colourType_; }
  int InterlaceMethod() const { return interlaceMethod_; }
  std::uint32_t Width() const { return width_; }
  std::uint32_t Height() const { return height_; }
  int Channels() const { return channels_; }
  std::size_t BytesPerRow() const { return bytesPerRow_; }
  // Row y of the pixels as read (16-bit samples low byte first) or assigned.
  const std::uint8_t* Row(std::uint32_t y) const { return rows_.data() + y * bytesPerRow_; }

  const std::vector<TPngColour>& Palette() const { return palette_; }
  TPngColour Background() const { return background_; }
  bool Transparent() const { return transparent_; }
  double FileGamma() const { return fileGamma_; }  // 0 when the file states none

  // Expand palette and grey pictures to RGB when reading (default on).
  bool Expand = true;
  double ScreenGamma = 2.2;
  int CompressionLevel = 3;
  int FilterMask = pfNone | pfSub | pfUp;
  TPngStrategy Strategy = psDefault;

  const std::string& Author() const { return author_; }
  const std::string& Description() const { return description_; }
  const std::string& Software() const { return software_; }
  const std::string& Title() const { return title_; }
  void SetAuthor(const std::string& v) { author_ = v; }
  void SetDescription(const std::string& v) { description_ = v; }
  void SetSoftware(const std::string& v) { software_ = v; }
  void SetTitle(const std::string& v) { title_ = v; }
  // Every text chunk read, as key + "=" + text.
  const std::vector<std::string>& Texts() const { return texts_; }
  // From tIME, as days since 1899-12-30 with the time of day as fraction;
  // 0 when the file has none.
  double ModificationTime() const { return modificationTime_; }

  void SetOnProgress(TPngProgressEvent e) { onProgress_ = std::move(e); }

  // An 8-bit (grey or palette) or 24-bit bitmap; others raise
  // "Unsupported bitmap format".
  void AssignBitmap(const TExtBitmap& bitmap);
  // Draws the picture with its top-left corner at (x0, y0), enlarging the
  // bitmap as needed.
  void DrawIntoBitmap(TExtBitmap& bitmap, int x0, int y0) const;

  // Reading replaces the picture only when the whole file was read.
  void LoadFromStream(std::istream& in);
  void LoadFromFile(const std::filesystem::path& name);
  void SaveToStream(std::ostream& out) const;
  // The file appears complete under its name or not at all.
  void SaveToFile(const std::filesystem::path& name) const;

  // Largest picture read, in bytes of decoded pixels; larger ones are refused.
  static constexpr std::size_t kMaxPixelBytes = std::size_t(1) << 28;

 private:
  friend struct TPngJob;
  friend struct TPngReadJob;
  friend struct TPngWriteJob;
  friend bool SaveBitmapAsPNG(const TExtBitmap&, const std::filesystem::path&, const std::string&,
                              const std::string&, const std::string&, const std::string&,
                              TPngProgressEvent);
  void Report(const std::string& stage, int percent) const;
  void TakeBitmapHeader(const TExtBitmap& bitmap);
  // Writes the bitmap's own rows, which must outlive this picture.
  void ViewBitmap(const TExtBitmap& bitmap);
  bool HasPixels() const { return !rows_.empty() || !view_.empty(); }

  int bitDepth_ = 8;
  int colourType_ = pctRGB;
  int interlaceMethod_ = 0, compressionMethod_ = 0, filterMethod_ = 0;
  std::uint32_t width_ = 0, height_ = 0;
  int channels_ = 3;
  std::size_t bytesPerRow_ = 0;
  std::vector<std::uint8_t> rows_;
  std::vector<const std::uint8_t*> view_;  // rows of a bitmap written without a copy
  bool viewBgr_ = false;
  std::vector<TPngColour> palette_;
  TPngColour background_;
  bool transparent_ = false;
  double fileGamma_ = 0;
  std::string author_, description_, software_, title_;
  std::vector<std::string> texts_;
  double modificationTime_ = 0;
  TPngProgressEvent onProgress_;
};

// Saves with compression level 4 and the none, sub and Paeth filters.
// Raises EPngError on failure; the target is then left as it was.
bool SaveBitmapAsPNG(const TExtBitmap& bitmap, const std::filesystem::path& name,
                     const std::string& author, const std::string& description,
                     const std::string& software, const std::string& title,
                     TPngProgressEvent onProgress = {});
// True when the file was read into the bitmap. A missing, truncated or
// corrupt file raises EPngError and leaves the bitmap as it was.
bool LoadPNGIntoBitmap(TExtBitmap& bitmap, const std::filesystem::path& name, bool expand);

// The version of the libpng the program runs with, e.g. "1.6.39".
std::string PngLibraryVersion();

}  // namespace vivurozed
