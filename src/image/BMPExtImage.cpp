#include "image/BMPExtImage.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <istream>
#include <iterator>
#include <limits>
#include <ostream>
#include <span>
#include <sstream>
#include <string>

#include "platform/FileReplace.h"

namespace vivurozed {

namespace {

constexpr std::int64_t kMaxBitmapBytes = std::int64_t(1) << 31;
constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kBiRgb = 0, kBiRle8 = 1, kBiBitfields = 3;

int RowBytesFor(int width, int bits) {
  return int((std::int64_t(width) * bits + 31) / 32 * 4);
}

std::uint16_t U16(std::span<const std::uint8_t> d, std::size_t at) {
  return std::uint16_t(d[at] | d[at + 1] << 8);
}
std::uint32_t U32(std::span<const std::uint8_t> d, std::size_t at) {
  return std::uint32_t(d[at]) | std::uint32_t(d[at + 1]) << 8 | std::uint32_t(d[at + 2]) << 16 |
         std::uint32_t(d[at + 3]) << 24;
}
void Put16(std::vector<std::uint8_t>& d, std::size_t at, std::uint32_t v) {
  d[at] = std::uint8_t(v);
  d[at + 1] = std::uint8_t(v >> 8);
}
void Put32(std::vector<std::uint8_t>& d, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) d[at + i] = std::uint8_t(v >> (8 * i));
}

[[noreturn]] void Bad(const std::string& why) {
  throw EInvalidGraphic("Bitmap image is not valid: " + why);
}

// Some writers declare 200 or 224 colours used and important but store the
// full 256-entry table; the table is cut to what counts and the pixel
// offset moved to match. Files whose table really is that short are left.
std::vector<std::uint8_t> RepairShortColourTable(std::vector<std::uint8_t> d) {
  if (d.size() < kFileHeaderSize + kInfoHeaderSize + 1) return d;
  if (U16(d, 0) != 0x4D42 || U32(d, 14) != kInfoHeaderSize) return d;
  const std::uint32_t used = U32(d, 46), important = U32(d, 50);
  if (used != important || (used != 200 && used != 224) || U16(d, 28) != 8) return d;
  const std::uint32_t tableStart = kFileHeaderSize + kInfoHeaderSize;
  const std::uint64_t fullTableEnd = tableStart + 256 * 4;
  const std::uint64_t shortTableEnd = tableStart + std::uint64_t(used) * 4;
  const std::uint32_t offset = U32(d, 10);
  const std::int64_t width = std::int32_t(U32(d, 18)), height = std::int32_t(U32(d, 22));
  const std::uint64_t pixelBytes =
      width > 0 ? std::uint64_t(RowBytesFor(int(std::min<std::int64_t>(width, 1 << 20)), 8)) *
                      std::uint64_t(height < 0 ? -height : height)
                : 0;
  const bool offsetShowsFullTable = offset >= fullTableEnd;
  const bool sizeShowsFullTable =
      U32(d, 30) == kBiRgb && offset == shortTableEnd && d.size() >= fullTableEnd + pixelBytes;
  if (d.size() < fullTableEnd || !(offsetShowsFullTable || sizeShowsFullTable)) return d;

  std::vector<std::uint8_t> out(d.begin(), d.begin() + std::ptrdiff_t(shortTableEnd));
  out.insert(out.end(), d.begin() + std::ptrdiff_t(fullTableEnd), d.end());
  Put32(out, 10, offsetShowsFullTable ? offset - (256 - used) * 4 : offset);
  Put32(out, 2, std::uint32_t(std::min<std::size_t>(out.size(), 0xFFFFFFFFu)));
  return out;
}

struct Decoded {
  int width = 0, height = 0;
  TPixelFormat format = pf8bit;
  int rowBytes = 0;
  TPixelStore pixels;
  std::vector<TPaletteEntry> palette;
};

void DecodeRle8(std::span<const std::uint8_t> d, std::size_t at, Decoded& out) {
  const int w = out.width, h = out.height;
  std::int64_t x = 0, y = 0;  // y counts from the bottom row
  auto need = [&](std::size_t n) {
    if (d.size() - at < n) Bad("RLE data ends before the end-of-bitmap mark");
  };
  auto row = [&](std::int64_t count) -> std::uint8_t* {
    if (y >= h) Bad("RLE data runs past the last row");
    if (x + count > w) Bad("RLE run past the end of a row");
    return out.pixels.Data() + std::size_t(h - 1 - y) * out.rowBytes + std::size_t(x);
  };
  for (;;) {
    need(2);
    const std::uint8_t count = d[at], value = d[at + 1];
    at += 2;
    if (count > 0) {
      std::memset(row(count), value, count);
      x += count;
    } else if (value == 0) {
      x = 0;
      ++y;
    } else if (value == 1) {
      return;
    } else if (value == 2) {
      need(2);
      x += d[at];
      y += d[at + 1];
      at += 2;
      if (x > w || y > h) Bad("RLE delta moves past the picture");
    } else {
      const std::size_t n = value, padded = n + (n & 1);
      need(padded);
      std::memcpy(row(std::int64_t(n)), d.data() + at, n);
      x += std::int64_t(n);
      at += padded;
    }
  }
}

Decoded DecodeBmp(std::span<const std::uint8_t> d) {
  if (d.size() < kFileHeaderSize + 4) Bad("file too short for the headers");
  if (U16(d, 0) != 0x4D42) Bad("no BM signature");
  const std::uint64_t offset = U32(d, 10);
  const std::uint32_t headerSize = U32(d, 14);
  if (headerSize != 12 && headerSize != 40 && headerSize != 52 && headerSize != 56 &&
      headerSize != 108 && headerSize != 124)
    Bad("unknown information header size " + std::to_string(headerSize));
  if (d.size() < kFileHeaderSize + headerSize) Bad("file too short for the headers");

  std::int64_t width, height;
  std::uint32_t planes, bits, compression = kBiRgb, used = 0, entrySize = 4;
  std::uint64_t tableStart = kFileHeaderSize + headerSize;
  if (headerSize == 12) {
    width = U16(d, 18);
    height = U16(d, 20);
    planes = U16(d, 22);
    bits = U16(d, 24);
    entrySize = 3;
  } else {
    width = std::int32_t(U32(d, 18));
    height = std::int32_t(U32(d, 22));
    planes = U16(d, 26);
    bits = U16(d, 28);
    compression = U32(d, 30);
    used = U32(d, 46);
  }
  if (planes != 1) Bad("plane count " + std::to_string(planes) + " is not 1");
  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (width <= 0 || height <= 0)
    Bad("picture size " + std::to_string(width) + " x " + std::to_string(height));
  if (const std::string refusal = PictureSizeRefusal(width, height); !refusal.empty())
    throw EInvalidGraphic(refusal);

  bool supported = false;
  if (compression == kBiRgb) {
    supported = bits == 1 || bits == 4 || bits == 8 || bits == 24 || bits == 32;
  } else if (compression == kBiRle8) {
    supported = bits == 8 && !topDown;
  } else if (compression == kBiBitfields && bits == 32) {
    if (d.size() < 66) Bad("file too short for the colour masks");
    supported = U32(d, 54) == 0xFF0000 && U32(d, 58) == 0xFF00 && U32(d, 62) == 0xFF;
    if (headerSize == 40) tableStart += 12;
  }
  if (!supported)
    throw EInvalidGraphic("Unsupported bitmap: " + std::to_string(bits) +
                          " bits per pixel, compression " + std::to_string(compression) +
                          (topDown ? ", top-down" : ""));

  Decoded out;
  out.width = int(width);
  out.height = int(height);
  std::uint64_t tableEnd = tableStart;
  if (bits <= 8) {
    const std::uint32_t most = 1u << bits;
    const std::uint32_t count = used ? used : most;
    if (count > most)
      Bad("colour table of " + std::to_string(count) + " entries for " + std::to_string(bits) +
          "-bit pixels");
    tableEnd = tableStart + std::uint64_t(count) * entrySize;
    if (tableEnd > d.size()) Bad("colour table runs past the end of the file");
    out.palette.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::size_t at = std::size_t(tableStart + std::uint64_t(i) * entrySize);
      out.palette[i] = {d[at + 2], d[at + 1], d[at], 0};
    }
  }
  if (offset < tableEnd) Bad("pixel data overlaps the headers or the colour table");
  if (offset > d.size()) Bad("pixel data offset past the end of the file");

  out.format = bits <= 8 ? pf8bit : pf24bit;
  out.rowBytes = RowBytesFor(out.width, out.format);
  out.pixels = TPixelStore(std::size_t(out.rowBytes) * out.height);
  if (compression == kBiRle8) {
    DecodeRle8(d, std::size_t(offset), out);
    return out;
  }

  const std::uint64_t stride = std::uint64_t(RowBytesFor(out.width, int(bits)));
  if (offset + stride * std::uint64_t(out.height) > d.size())
    Bad("pixel data runs past the end of the file");
  for (int r = 0; r < out.height; ++r) {
    const std::uint8_t* in = d.data() + offset + stride * std::uint64_t(r);
    std::uint8_t* px =
        out.pixels.Data() + std::size_t(topDown ? r : out.height - 1 - r) * out.rowBytes;
    const int w = out.width;
    switch (bits) {
      case 1:
        for (int x = 0; x < w; ++x) px[x] = (in[x >> 3] >> (7 - (x & 7))) & 1;
        break;
      case 4:
        for (int x = 0; x < w; ++x) px[x] = (in[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
        break;
      case 8:
      case 24:
        std::memcpy(px, in, std::size_t(w) * (bits / 8));
        break;
      case 32:
        for (int x = 0; x < w; ++x) std::memcpy(px + 3 * x, in + 4 * x, 3);
        break;
    }
  }
  return out;
}

}  // namespace

std::string PictureSizeRefusal(std::int64_t width, std::int64_t height) {
  if (width <= kMaxPicturePixels && height <= kMaxPicturePixels &&
      width * height <= kMaxPicturePixels)
    return {};
  return "picture too large: " + std::to_string(width) + " x " + std::to_string(height) +
         " (at most " + std::to_string(kMaxPicturePixels / 1000000) + " megapixels)";
}

std::vector<TPaletteEntry> GreyPalette(int entries) {
  std::vector<TPaletteEntry> p(std::size_t(std::clamp(entries, 0, 256)));
  const int top = std::max<int>(int(p.size()) - 1, 1);
  for (std::size_t i = 0; i < p.size(); ++i) {
    const auto v = std::uint8_t(int(i) * 255 / top);
    p[i] = {v, v, v, 0};
  }
  return p;
}

TExtBitmap::TExtBitmap(int width, int height, TPixelFormat format) {
  SetPixelFormat(format);
  SetSize(width, height);
}

void TExtBitmap::SetSize(int width, int height) {
  if (width < 0 || height < 0) throw EInvalidGraphicOperation("Bitmap size must not be negative");
  const int rowBytes = RowBytesFor(width, format_);
  if (std::int64_t(rowBytes) * height > kMaxBitmapBytes)
    throw EInvalidGraphicOperation("Bitmap too large");
  if (width == width_ && height == height_) return;
  TPixelStore pixels(std::size_t(rowBytes) * height);
  const int keepRows = std::min(height, height_);
  const std::size_t keepBytes = std::size_t((std::int64_t(std::min(width, width_)) * format_) / 8);
  for (int y = 0; y < keepRows; ++y)
    std::memcpy(pixels.Data() + std::size_t(y) * rowBytes,
                pixels_.Data() + std::size_t(y) * rowBytes_, keepBytes);
  pixels_ = std::move(pixels);
  width_ = width;
  height_ = height;
  rowBytes_ = rowBytes;
}

void TExtBitmap::SetPixelFormat(TPixelFormat format) {
  if (format != pf1bit && format != pf4bit && format != pf8bit && format != pf16bit &&
      format != pf24bit && format != pf32bit)
    throw EInvalidGraphicOperation("Unknown pixel format");
  if (format <= pf8bit && palette_.empty()) palette_ = GreyPalette(1 << format);
  if (format == format_) return;
  const int rowBytes = RowBytesFor(width_, format);
  if (std::int64_t(rowBytes) * height_ > kMaxBitmapBytes)
    throw EInvalidGraphicOperation("Bitmap too large");
  format_ = format;
  rowBytes_ = rowBytes;
  pixels_ = TPixelStore(std::size_t(rowBytes_) * height_);
}

std::uint8_t* TExtBitmap::ScanLine(int y) {
  if (y < 0 || y >= height_) throw std::out_of_range("Scan line index out of range");
  return pixels_.Data() + std::size_t(y) * rowBytes_;
}

const std::uint8_t* TExtBitmap::ScanLine(int y) const {
  if (y < 0 || y >= height_) throw std::out_of_range("Scan line index out of range");
  return pixels_.Data() + std::size_t(y) * rowBytes_;
}

void TExtBitmap::SetPalette(std::vector<TPaletteEntry> palette) {
  if (palette.size() > 256) throw EInvalidGraphicOperation("A palette holds at most 256 entries");
  palette_ = std::move(palette);
}

void TExtBitmap::LoadFromStream(std::istream& in) {
  const auto start = in.tellg();
  std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
  // Repairs only apply to a whole file read from its start.
  if (start == std::streampos(0)) bytes = RepairShortColourTable(std::move(bytes));
  Decoded d = DecodeBmp(bytes);
  width_ = d.width;
  height_ = d.height;
  format_ = d.format;
  rowBytes_ = d.rowBytes;
  pixels_ = std::move(d.pixels);
  palette_ = std::move(d.palette);
}

void TExtBitmap::LoadFromFile(const std::filesystem::path& name) {
  std::ifstream in(name, std::ios::binary);
  if (!in) throw EInvalidGraphic("Cannot open file " + name.string());
  LoadFromStream(in);
}

void TExtBitmap::SaveToStream(std::ostream& out, bool topDown) const {
  if (format_ == pf16bit) throw EInvalidGraphicOperation("A 16-bit bitmap has no BMP form");
  std::vector<TPaletteEntry> table;
  if (format_ <= pf8bit) {
    table = palette_.empty() ? GreyPalette(1 << format_) : palette_;
    table.resize(std::min<std::size_t>(table.size(), std::size_t(1) << format_));
  }
  const std::uint32_t tableBytes = std::uint32_t(table.size() * 4);
  const std::uint32_t offset = kFileHeaderSize + kInfoHeaderSize + tableBytes;
  const std::uint32_t imageBytes = std::uint32_t(rowBytes_) * std::uint32_t(height_);
  std::vector<std::uint8_t> head(offset, 0);
  Put16(head, 0, 0x4D42);
  Put32(head, 2, offset + imageBytes);
  Put32(head, 10, offset);
  Put32(head, 14, kInfoHeaderSize);
  Put32(head, 18, std::uint32_t(width_));
  Put32(head, 22, std::uint32_t(topDown ? -height_ : height_));
  Put16(head, 26, 1);
  Put16(head, 28, format_);
  Put32(head, 30, kBiRgb);
  Put32(head, 34, imageBytes);
  Put32(head, 46, std::uint32_t(table.size()));
  for (std::size_t i = 0; i < table.size(); ++i) {
    head[54 + 4 * i] = table[i].blue;
    head[55 + 4 * i] = table[i].green;
    head[56 + 4 * i] = table[i].red;
  }
  out.write(reinterpret_cast<const char*>(head.data()), std::streamsize(head.size()));
  // Padding bytes of a row may hold anything a caller wrote; files get zeros.
  const std::size_t used = std::size_t((std::int64_t(width_) * format_ + 7) / 8);
  std::vector<char> row(std::size_t(rowBytes_), 0);
  for (int r = 0; r < height_; ++r) {
    const std::uint8_t* px =
        pixels_.Data() + std::size_t(topDown ? r : height_ - 1 - r) * rowBytes_;
    std::memcpy(row.data(), px, used);
    if ((format_ * width_) % 8 != 0 && used > 0)  // clear the unused low bits of the last byte
      row[used - 1] =
          char(std::uint8_t(row[used - 1]) & std::uint8_t(0xFF << (8 - (format_ * width_) % 8)));
    out.write(row.data(), std::streamsize(row.size()));
  }
}

void TExtBitmap::SaveToFile(const std::filesystem::path& name) {
  if (format_ == pf24bit) palette_.clear();
  // Written whole beside the target and renamed over it: a failure midway
  // leaves the previous file as it was.
  std::ostringstream out;
  SaveToStream(out);
  const std::string bytes = out.str();
  std::string error;
  if (!ReplaceFileContents(
          name, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
          &error))
    throw EInvalidGraphicOperation("Cannot write file " + name.string() + ": " + error);
}

std::unique_ptr<TIplImage> TExtBitmap::MakeFramedIPL(int width, int height, int dx, int dy) const {
  if (format_ != pf8bit && format_ != pf24bit)
    throw EInvalidGraphicOperation(
        "Error: MakeIPL or MakeFramedIPL called without 8 or 24-bit pixels.");
  if (width == 0 || height == 0) return nullptr;
  const int channels = format_ == pf8bit ? 1 : 3;
  auto image = iplCreateImage(width, height, idDepth8u, channels);
  // The overlap of the bitmap, placed at dx, with the frame's columns.
  const std::int64_t srcX = std::max(0, -dx), dstX = std::max(0, dx);
  const std::int64_t count =
      std::min<std::int64_t>(std::int64_t(width_) - srcX, std::int64_t(width) - dstX);
  if (count <= 0) return image;
  for (int y = 0; y < height_; ++y) {
    const std::int64_t target = std::int64_t(dy) + y;
    if (target < 0 || target >= height) continue;
    std::memcpy(image->Row8(int(target)) + dstX * channels, ScanLine(y) + srcX * channels,
                std::size_t(count * channels));
  }
  return image;
}

std::unique_ptr<TIplImage> TExtBitmap::MakeIPL() const {
  return MakeFramedIPL(width_, height_, 0, 0);
}

void TExtBitmap::Assign(const TIplImage& image) {
  if (image.Depth() != idDepth8u)
    throw EInvalidGraphicOperation("Error: a bitmap can only take an 8-bit library image.");
  SetHeight(0);
  SetPixelFormat(image.Channels() == 1 ? pf8bit : pf24bit);
  SetSize(image.Width(), image.Height());
  const std::size_t bytes = std::size_t(image.Width()) * image.Channels();
  for (int y = 0; y < height_; ++y) std::memcpy(ScanLine(y), image.Row8(y), bytes);
}

void TExtBitmap::Rotate() {
  if (format_ != pf8bit && format_ != pf24bit)
    throw EInvalidGraphicOperation("Error: Rotate called without 8-bit or 24-bit pixels.");
  if (height_ < 3) return;
  auto image = MakeIPL();
  if (!image) return;
  auto turned = iplCloneImage(*image);
  iplMirror(*image, *turned, maBoth);
  Assign(*turned);
  modified_ = true;
}

void TExtBitmap::MakeGreyPalette() {
  if (format_ != pf8bit || palette_.empty()) return;
  auto grey = GreyPalette(256);
  if (palette_ == grey) return;
  palette_ = std::move(grey);
  modified_ = true;
}

}  // namespace vivurozed
