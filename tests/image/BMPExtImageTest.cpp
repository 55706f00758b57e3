#include "image/BMPExtImage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "WavWriter.h"

namespace vivurozed {
namespace {

using Rows = std::vector<std::vector<int>>;

// A BMP file assembled field by field, independent of the writer under test.
struct BmpFile {
  std::int32_t width = 1, height = 1;
  std::uint16_t planes = 1, bits = 8;
  std::uint32_t compression = 0, sizeImage = 0, used = 0, important = 0;
  std::uint32_t headerSize = 40;
  std::vector<std::uint8_t> table;   // raw colour-table bytes
  std::vector<std::uint8_t> pixels;  // raw pixel bytes
  std::int64_t offset = -1;          // -1: straight after the table

  BmpFile& Used(std::uint32_t n) { return used = important = n, *this; }
  BmpFile& At(std::int64_t pixelOffset) { return offset = pixelOffset, *this; }
  BmpFile& Sized(std::uint32_t field) { return sizeImage = field, *this; }
  BmpFile& Rle8() { return compression = 1, *this; }

  std::string Bytes() const {
    std::string b;
    auto u16 = [&](std::uint32_t v) {
      b += char(v & 0xFF);
      b += char((v >> 8) & 0xFF);
    };
    auto u32 = [&](std::uint32_t v) {
      u16(v & 0xFFFF);
      u16(v >> 16);
    };
    const std::uint32_t off =
        offset >= 0 ? std::uint32_t(offset) : 54 + std::uint32_t(table.size());
    b += "BM";
    for (std::uint32_t v : {std::uint32_t(54 + table.size() + pixels.size()), 0u, off, headerSize,
                            std::uint32_t(width), std::uint32_t(height)})
      u32(v);
    u16(planes);
    u16(bits);
    for (std::uint32_t v : {compression, sizeImage, 2835u, 2835u, used, important}) u32(v);
    b.append(table.begin(), table.end());
    b.append(pixels.begin(), pixels.end());
    return b;
  }
};

BmpFile Bmp(int width, int height, int bits, std::vector<std::uint8_t> pixels,
            std::vector<std::uint8_t> table = {}) {
  BmpFile f;
  f.width = width;
  f.height = height;
  f.bits = std::uint16_t(bits);
  f.pixels = std::move(pixels);
  f.table = std::move(table);
  return f;
}

// Colour table entry i = (blue i, green 255 - i, red i / 2).
std::vector<std::uint8_t> Table(int entries) {
  std::vector<std::uint8_t> t;
  for (int i = 0; i < entries; ++i)
    t.insert(t.end(), {std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i / 2), 0});
  return t;
}

// An RLE8 file body of the given bytes.
template <std::uint8_t... P>
void Rle(BmpFile& f) {
  f.compression = 1;
  f.pixels = {P...};
}

TExtBitmap Load(const std::string& bytes) {
  std::istringstream in(bytes);
  TExtBitmap bmp;
  bmp.LoadFromStream(in);
  return bmp;
}

std::string Save(const TExtBitmap& bmp, bool topDown = false) {
  std::ostringstream out;
  bmp.SaveToStream(out, topDown);
  return out.str();
}

std::vector<int> Bytes(const TExtBitmap& bmp, int y, int count) {
  return std::vector<int>(bmp.ScanLine(y), bmp.ScanLine(y) + count);
}

// The message of what `f` throws, or "" when it returns.
template <class F>
std::string Thrown(F f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

std::string LoadError(const std::string& bytes) {
  std::istringstream in(bytes);
  TExtBitmap bmp(2, 2, pf8bit);
  try {
    bmp.LoadFromStream(in);
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(bmp.Width(), 2);  // a refused file changes nothing
    return e.what();
  }
  return "";
}

// Loads `f` and compares its pixels, the top rows' first bytes one after
// the other, and its palette: none for 24-bit pictures (paletteSize 0), not
// checked for -1.
void ExpectRead(const char* what, const BmpFile& f, const std::vector<int>& pixels, int paletteSize,
                TPaletteEntry last = {}) {
  SCOPED_TRACE(what);
  const TExtBitmap b = Load(f.Bytes());
  EXPECT_EQ(b.PixelFormat(), paletteSize == 0 ? pf24bit : pf8bit);
  EXPECT_EQ(b.Width(), f.width);
  ASSERT_EQ(b.Height(), std::abs(f.height));
  const int n = int(pixels.size()) / b.Height();
  for (int y = 0; y < b.Height(); ++y)
    EXPECT_EQ(Bytes(b, y, n), std::vector<int>(pixels.begin() + y * n, pixels.begin() + y * n + n));
  EXPECT_FALSE(b.Modified());
  if (paletteSize < 0) return;
  ASSERT_EQ(b.Palette().size(), std::size_t(paletteSize));
  if (paletteSize > 0) {
    EXPECT_EQ(b.Palette().back(), last);
  }
}

TEST(BmpRead, EveryAcceptedVariantGivesItsPixelsAndPalette) {
  const TPaletteEntry white = {255, 255, 255, 0}, last256 = {127, 0, 255, 0},
                      last200 = {99, 56, 199, 0};
  ExpectRead("24-bit bottom-up: the file's first row is the picture's last",
             Bmp(3, 2, 24,
                 {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0}),
             {11, 12, 13, 14, 15, 16, 17, 18, 19, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 0);
  ExpectRead("32-bit top-down drops the fourth byte",
             Bmp(3, -1, 32, {1, 2, 3, 99, 4, 5, 6, 99, 7, 8, 9, 99}), {1, 2, 3, 4, 5, 6, 7, 8, 9},
             0);
  ExpectRead("1-bit, most significant bit first",
             Bmp(10, 1, 1, {0b10100000, 0b01000000, 0, 0}, {0, 0, 0, 0, 255, 255, 255, 0}),
             {1, 0, 1, 0, 0, 0, 0, 0, 0, 1}, 2, white);
  ExpectRead("4-bit, high nibble first", Bmp(3, 1, 4, {0x1F, 0x70, 0, 0}, Table(16)).Used(16),
             {1, 15, 7}, 16, {7, 240, 15, 0});
  ExpectRead(
      "RLE8 runs, absolute runs, delta, end",
      Bmp(6, 2, 8, {3, 7, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 0, 2, 9, 0, 1}, Table(256)).Rle8(),
      {0, 0, 9, 9, 0, 0, 7, 7, 7, 1, 2, 3}, 256, last256);
  ExpectRead("200 colours used, 256 stored", Bmp(4, 1, 8, {5, 199, 0, 42}, Table(256)).Used(200),
             {5, 199, 0, 42}, 200, last200);
  ExpectRead("offset written for a 224-entry table",
             Bmp(4, 1, 8, {5, 199, 0, 42}, Table(256)).Used(224).At(54 + 224 * 4), {5, 199, 0, 42},
             -1);
  ExpectRead("a table of 200 entries as it stands",
             Bmp(4, 1, 8, {5, 199, 0, 42}, Table(200)).Used(200), {5, 199, 0, 42}, 200, last200);
  // 2080-wide pictures were written with a wrong image-size field.
  std::vector<std::uint8_t> wide(2080 * 3, 0);
  wide[2080 * 2] = 77;  // first pixel of the top row
  for (std::uint32_t field : {0u, 12345u, 0xFFFFFFF0u})
    ExpectRead("size field", Bmp(2080, 3, 8, wide, Table(256)).Sized(field), {77, 0, 0}, 256,
               last256);

  // Read from the middle of a stream: no repair, the header is honoured.
  std::istringstream in("xx" +
                        Bmp(4, 1, 8, {5, 199, 0, 42}, Table(256)).Used(200).At(54 + 1024).Bytes());
  in.seekg(2);
  TExtBitmap mid;
  mid.LoadFromStream(in);
  EXPECT_EQ(Bytes(mid, 0, 4), (std::vector<int>{5, 199, 0, 42}));
}

TEST(BmpRead, RefusesMalformedAndUnsupportedFiles) {
  const BmpFile good = Bmp(2, 2, 8, std::vector<std::uint8_t>(8, 1), Table(256));
  ASSERT_EQ(LoadError(good.Bytes()), "");

  struct Case {
    const char* what;
    void (*change)(BmpFile&);
    const char* expected;
  };
  const Case cases[] = {
      {"truncated pixels", [](BmpFile& f) { f.pixels.resize(7); }, "runs past the end"},
      {"offset past end", [](BmpFile& f) { f.offset = 5000; }, "offset past the end"},
      {"offset into table", [](BmpFile& f) { f.offset = 60; }, "overlaps"},
      {"table past end", [](BmpFile& f) { f.table.resize(100), f.pixels.clear(); }, "colour table"},
      {"table too long", [](BmpFile& f) { f.used = 300; }, "colour table of 300"},
      {"zero width", [](BmpFile& f) { f.width = 0; }, "picture size"},
      {"negative width", [](BmpFile& f) { f.width = -2; }, "picture size"},
      {"overflowing size", [](BmpFile& f) { f.width = 0x7FFFFFFF; }, "too large: 2147483647 x 2"},
      {"65535 square", [](BmpFile& f) { f.width = f.height = 65535; },
       "picture too large: 65535 x 65535 (at most 67 megapixels)"},
      {"most negative height", [](BmpFile& f) { f.height = INT32_MIN; },
       "too large: 2 x 2147483648"},
      {"planes", [](BmpFile& f) { f.planes = 2; }, "plane count"},
      {"16-bit", [](BmpFile& f) { f.bits = 16; }, "Unsupported bitmap: 16 bits"},
      {"RLE4", [](BmpFile& f) { f.compression = 2; }, "compression 2"},
      {"top-down RLE8", [](BmpFile& f) { f.compression = 1, f.height = -2; }, "top-down"},
      {"header size", [](BmpFile& f) { f.headerSize = 64; }, "header size"},
      {"RLE run too long", Rle<3, 1, 0, 1>, "past the end of a row"},
      {"RLE without end", Rle<2, 1>, "end-of-bitmap"},
      {"RLE past last row", Rle<0, 0, 0, 0, 1, 1>, "last row"},
      {"RLE delta out", Rle<0, 2, 9, 0>, "delta"},
      {"RLE absolute cut", Rle<0, 3, 1>, "end-of-bitmap"},
  };
  for (const auto& c : cases) {
    BmpFile f = good;
    c.change(f);
    const std::string error = LoadError(f.Bytes());
    EXPECT_NE(error.find(c.expected), std::string::npos) << c.what << ": " << error;
  }
  EXPECT_NE(LoadError("BM").find("too short"), std::string::npos);
  EXPECT_NE(LoadError("PK" + good.Bytes().substr(2)).find("BM"), std::string::npos);
  EXPECT_NE(LoadError(good.Bytes().substr(0, 40)).find("too short"), std::string::npos);
}

TEST(BmpWrite, RoundTripsEveryDepthInBothOrientations) {
  TExtBitmap grey(5, 3, pf8bit);
  std::vector<TPaletteEntry> palette(256);
  for (int i = 0; i < 256; ++i)
    palette[i] = {std::uint8_t(i), std::uint8_t(i / 3), std::uint8_t(255 - i), 0};
  grey.SetPalette(palette);
  TExtBitmap colour(3, 2, pf24bit), four(3, 1, pf4bit);
  for (int y = 0; y < 3; ++y)
    for (int i = 0; i < 9; ++i) {
      if (i < 5) grey.ScanLine(y)[i] = std::uint8_t(y * 50 + i);
      if (y < 2) colour.ScanLine(y)[i] = std::uint8_t(y * 100 + i * 7);
    }
  four.ScanLine(0)[0] = 0x5A;
  four.ScanLine(0)[1] = 0xF0;
  const struct {
    const TExtBitmap& picture;
    TPixelFormat format;
    Rows rows;
    std::vector<TPaletteEntry> palette;
    std::size_t fileSize;  // rows padded to four bytes
  } cases[] = {
      {grey,
       pf8bit,
       {Bytes(grey, 0, 5), Bytes(grey, 1, 5), Bytes(grey, 2, 5)},
       palette,
       54 + 1024 + 3 * 8},
      {colour, pf24bit, {Bytes(colour, 0, 9), Bytes(colour, 1, 9)}, {}, 54 + 2 * 12},
      // Low depths come back as 8-bit with the same indices.
      {four, pf8bit, {{5, 10, 15}}, GreyPalette(16), 54 + 64 + 4},
  };
  for (const auto& c : cases) {
    for (bool topDown : {false, true}) {
      SCOPED_TRACE(::testing::Message() << c.format << " top-down " << topDown);
      const std::string file = Save(c.picture, topDown);
      EXPECT_EQ(file.size(), c.fileSize);
      const std::int32_t height =
          std::int32_t(std::uint8_t(file[22]) | std::uint8_t(file[23]) << 8 |
                       std::uint8_t(file[24]) << 16 | std::uint8_t(file[25]) << 24);
      EXPECT_EQ(height, topDown ? -c.picture.Height() : c.picture.Height());
      const TExtBitmap back = Load(file);
      EXPECT_EQ(back.PixelFormat(), c.format);
      EXPECT_EQ(back.Palette(), c.palette);
      for (std::size_t y = 0; y < c.rows.size(); ++y)
        EXPECT_EQ(Bytes(back, int(y), int(c.rows[y].size())), c.rows[y]);
    }
  }
  EXPECT_THROW(Save(TExtBitmap(2, 2, pf16bit)), EInvalidGraphicOperation);
}

TEST(BmpWrite, SaveToFileDropsAColourPictureSPalette) {
  testing::TempDir dir;
  TExtBitmap colour(2, 2, pf8bit);
  colour.ScanLine(1)[1] = 200;
  colour.SetPixelFormat(pf24bit);  // keeps the grey palette, clears pixels
  colour.ScanLine(1)[5] = 200;
  ASSERT_FALSE(colour.Palette().empty());
  colour.SaveToFile(dir / "c.bmp");
  EXPECT_TRUE(colour.Palette().empty());
  EXPECT_EQ(std::filesystem::file_size(dir / "c.bmp"), 54u + 2u * 8u);
  TExtBitmap back;
  back.LoadFromFile(dir / "c.bmp");
  EXPECT_EQ(Bytes(back, 1, 6), (std::vector<int>{0, 0, 0, 0, 0, 200}));
  EXPECT_THROW(back.LoadFromFile(dir / "missing.bmp"), EInvalidGraphic);
}

TEST(ExtBitmap, RotateTurnsHalfWayFromThreeRowsOn) {
  TExtBitmap two(3, 2, pf8bit), three(3, 3, pf8bit), colour(2, 3, pf24bit), wide(2, 3, pf32bit);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) {
      if (y < 2) two.ScanLine(y)[x] = std::uint8_t(10 * y + x);
      three.ScanLine(y)[x] = std::uint8_t(10 * y + x);
    }
  for (int i = 0; i < 6; ++i) colour.ScanLine(0)[i] = std::uint8_t(i + 1);
  two.Rotate();
  EXPECT_EQ(Bytes(two, 0, 3), (std::vector<int>{0, 1, 2}));
  EXPECT_FALSE(two.Modified());
  three.Rotate();
  EXPECT_EQ(Bytes(three, 2, 3), (std::vector<int>{2, 1, 0}));
  EXPECT_EQ(Bytes(three, 0, 3), (std::vector<int>{22, 21, 20}));
  EXPECT_TRUE(three.Modified());
  colour.Rotate();
  EXPECT_EQ(Bytes(colour, 2, 6), (std::vector<int>{4, 5, 6, 1, 2, 3}));
  EXPECT_EQ(Thrown([&] { wide.Rotate(); }), "Error: Rotate called without 8-bit or 24-bit pixels.");
}

TEST(ExtBitmap, MakeFramedIplPlacesTheBitmapAtItsOffset) {
  TExtBitmap b(3, 2, pf8bit);
  const std::uint8_t rows[2][3] = {{1, 2, 3}, {4, 5, 6}};
  for (int y = 0; y < 2; ++y) std::copy(rows[y], rows[y] + 3, b.ScanLine(y));
  auto pixels = [](const TIplImage& im) {
    Rows p(im.Height());
    for (int y = 0; y < im.Height(); ++y)
      p[y].assign(im.Row8(y), im.Row8(y) + im.Width() * im.Channels());
    return p;
  };
  auto same = b.MakeIPL();
  ASSERT_TRUE(same);
  EXPECT_STREQ(same->ColorModel(), "GRAY");
  EXPECT_EQ(pixels(*same), (Rows{{1, 2, 3}, {4, 5, 6}}));
  EXPECT_EQ(pixels(*b.MakeFramedIPL(5, 3, 1, 1)),
            (Rows{{0, 0, 0, 0, 0}, {0, 1, 2, 3, 0}, {0, 4, 5, 6, 0}}));
  // A negative x offset drops that many columns from the left.
  EXPECT_EQ(pixels(*b.MakeFramedIPL(3, 2, -1, 0)), (Rows{{2, 3, 0}, {5, 6, 0}}));
  // Rows and columns past the frame are cut.
  EXPECT_EQ(pixels(*b.MakeFramedIPL(2, 1, 0, -1)), (Rows{{4, 5}}));
  EXPECT_EQ(pixels(*b.MakeFramedIPL(3, 2, 2, 0)), (Rows{{0, 0, 1}, {0, 0, 4}}));
  EXPECT_EQ(pixels(*b.MakeFramedIPL(2, 2, 5, 0)), (Rows{{0, 0}, {0, 0}}));
  EXPECT_EQ(b.MakeFramedIPL(0, 4, 0, 0), nullptr);

  TExtBitmap colour(1, 1, pf24bit);
  colour.ScanLine(0)[2] = 9;
  auto c = colour.MakeFramedIPL(2, 1, 1, 0);
  EXPECT_STREQ(c->ChannelSeq(), "BGR");
  EXPECT_EQ(pixels(*c), (Rows{{0, 0, 0, 0, 0, 9}}));
  EXPECT_EQ(Thrown([] { TExtBitmap(4, 4, pf1bit).MakeIPL(); }),
            "Error: MakeIPL or MakeFramedIPL called without 8 or 24-bit pixels.");

  // And back: a library image becomes a bitmap of its depth.
  TIplImage grey(3, 2, idDepth8u), rgb(2, 1, idDepth8u, 3);
  grey.Row8(1)[2] = 200;
  rgb.Row8(0)[5] = 17;
  b.Assign(grey);
  EXPECT_EQ(b.PixelFormat(), pf8bit);
  EXPECT_EQ(Bytes(b, 1, 3), (std::vector<int>{0, 0, 200}));
  b.Assign(rgb);
  EXPECT_EQ(b.PixelFormat(), pf24bit);
  EXPECT_EQ(Bytes(b, 0, 6), (std::vector<int>{0, 0, 0, 0, 0, 17}));
  EXPECT_THROW(b.Assign(TIplImage(2, 2, idDepth16u)), EInvalidGraphicOperation);
}

TEST(ExtBitmap, GreyPaletteResizeAndHistogram) {
  TExtBitmap b(2, 2, pf8bit);
  EXPECT_EQ(b.Palette(), GreyPalette());
  auto tinted = GreyPalette();
  tinted[7].blue = 0;
  b.SetPalette(tinted);
  b.MakeGreyPalette();
  EXPECT_TRUE(b.Modified());
  EXPECT_EQ(b.Palette(), GreyPalette());
  b.SetModified(false);
  b.MakeGreyPalette();  // already grey
  EXPECT_FALSE(b.Modified());
  b.SetPalette({});  // no palette: left alone
  b.MakeGreyPalette();
  EXPECT_TRUE(b.Palette().empty());
  EXPECT_THROW(b.SetPalette(std::vector<TPaletteEntry>(257)), EInvalidGraphicOperation);

  TExtBitmap c(3, 2, pf24bit);
  EXPECT_EQ(c.RowBytes(), 12);
  c.ScanLine(1)[8] = 5;
  c.SetSize(5, 3);
  EXPECT_EQ(c.RowBytes(), 16);
  EXPECT_EQ(c.ScanLine(1)[8], 5);
  EXPECT_EQ(c.ScanLine(2)[0], 0);
  c.SetHeight(1);
  EXPECT_THROW(c.ScanLine(1), std::out_of_range);

  TekHistogram h(4);
  for (int v : {0, 3, 3, -1, 4, 2}) h.Add(v);
  EXPECT_EQ(std::vector<int>(h.Counts().begin(), h.Counts().end()), (std::vector<int>{1, 0, 1, 2}));
  EXPECT_EQ(h.Total(), 4);
  EXPECT_FLOAT_EQ(h.LowerPercent(), 0.5f);
  EXPECT_FLOAT_EQ(h.UpperPercent(), 99.5f);
  h.Clear();
  EXPECT_EQ(h.Total(), 0);
}

}  // namespace
}  // namespace vivurozed
