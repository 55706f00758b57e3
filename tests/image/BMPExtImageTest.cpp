#include "image/BMPExtImage.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "WavWriter.h"

namespace vivurozed {
namespace {

// A BMP file assembled field by field, independent of the writer under test.
struct BmpFile {
  std::int32_t width = 1, height = 1;
  std::uint16_t planes = 1, bits = 8;
  std::uint32_t compression = 0, sizeImage = 0, used = 0, important = 0;
  std::uint32_t headerSize = 40;
  std::vector<std::uint8_t> table;   // raw colour-table bytes
  std::vector<std::uint8_t> pixels;  // raw pixel bytes
  std::int64_t offset = -1;          // -1: straight after the table

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

// Colour table entry i = (blue i, green 255 - i, red i / 2).
std::vector<std::uint8_t> Table(int entries) {
  std::vector<std::uint8_t> t;
  for (int i = 0; i < entries; ++i) {
    t.push_back(std::uint8_t(i));
    t.push_back(std::uint8_t(255 - i));
    t.push_back(std::uint8_t(i / 2));
    t.push_back(0);
  }
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

TEST(BmpRead, HandBuiltFilesOfEveryDepthGiveTheirPixels) {
  // 24-bit, 3 x 2, bottom-up: the file's first row is the picture's last.
  BmpFile f;
  f.width = 3;
  f.height = 2;
  f.bits = 24;
  f.pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0};
  TExtBitmap b = Load(f.Bytes());
  EXPECT_EQ(b.PixelFormat(), pf24bit);
  EXPECT_EQ(Bytes(b, 0, 9), (std::vector<int>{11, 12, 13, 14, 15, 16, 17, 18, 19}));
  EXPECT_EQ(Bytes(b, 1, 9), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_FALSE(b.Modified());

  // Top-down 32-bit drops the fourth byte.
  f.height = -1;
  f.bits = 32;
  f.pixels = {1, 2, 3, 99, 4, 5, 6, 99, 7, 8, 9, 99};
  b = Load(f.Bytes());
  EXPECT_EQ(b.PixelFormat(), pf24bit);
  EXPECT_EQ(b.Height(), 1);
  EXPECT_EQ(Bytes(b, 0, 9), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));

  // 1-bit, 10 wide: one 4-byte row, most significant bit first.
  BmpFile one;
  one.width = 10;
  one.bits = 1;
  one.table = {0, 0, 0, 0, 255, 255, 255, 0};
  one.pixels = {0b10100000, 0b01000000, 0, 0};
  b = Load(one.Bytes());
  EXPECT_EQ(b.PixelFormat(), pf8bit);
  EXPECT_EQ(Bytes(b, 0, 10), (std::vector<int>{1, 0, 1, 0, 0, 0, 0, 0, 0, 1}));
  ASSERT_EQ(b.Palette().size(), 2u);
  EXPECT_EQ(b.Palette()[1], (TPaletteEntry{255, 255, 255, 0}));

  // 4-bit, high nibble first, palette as stored (red, green, blue swapped in).
  BmpFile four;
  four.width = 3;
  four.bits = 4;
  four.used = 16;
  four.table = Table(16);
  four.pixels = {0x1F, 0x70, 0, 0};
  b = Load(four.Bytes());
  EXPECT_EQ(Bytes(b, 0, 3), (std::vector<int>{1, 15, 7}));
  EXPECT_EQ(b.Palette()[15], (TPaletteEntry{7, 240, 15, 0}));
}

TEST(BmpRead, DecodesRle8WithRunsAbsoluteRunsAndDeltas) {
  BmpFile f;
  f.width = 6;
  f.height = 2;
  f.compression = 1;
  f.table = Table(256);
  // Bottom row: run of three 7s, absolute 1 2 3 (padded); top row: skip
  // two pixels, run of two 9s; end of bitmap.
  f.pixels = {3, 7, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 0, 2, 9, 0, 1};
  TExtBitmap b = Load(f.Bytes());
  EXPECT_EQ(Bytes(b, 0, 6), (std::vector<int>{0, 0, 9, 9, 0, 0}));
  EXPECT_EQ(Bytes(b, 1, 6), (std::vector<int>{7, 7, 7, 1, 2, 3}));
}

TEST(BmpRead, ShortColourTableRepair) {
  // 200 colours used and important, but all 256 entries stored.
  BmpFile f;
  f.width = 4;
  f.height = 1;
  f.used = f.important = 200;
  f.table = Table(256);
  f.pixels = {5, 199, 0, 42};
  TExtBitmap b = Load(f.Bytes());
  EXPECT_EQ(Bytes(b, 0, 4), (std::vector<int>{5, 199, 0, 42}));
  ASSERT_EQ(b.Palette().size(), 200u);
  EXPECT_EQ(b.Palette()[199], (TPaletteEntry{99, 56, 199, 0}));

  // The same with the pixel offset written for a 224-entry table.
  f.used = f.important = 224;
  f.offset = 54 + 224 * 4;
  b = Load(f.Bytes());
  EXPECT_EQ(Bytes(b, 0, 4), (std::vector<int>{5, 199, 0, 42}));

  // A table that really has 200 entries is read as it stands.
  f.used = f.important = 200;
  f.table = Table(200);
  f.offset = -1;
  b = Load(f.Bytes());
  EXPECT_EQ(Bytes(b, 0, 4), (std::vector<int>{5, 199, 0, 42}));
  EXPECT_EQ(b.Palette().size(), 200u);

  // Read from the middle of a stream: no repair, the header is honoured.
  f.table = Table(256);
  f.offset = 54 + 1024;
  std::istringstream in("xx" + f.Bytes());
  in.seekg(2);
  TExtBitmap mid;
  mid.LoadFromStream(in);
  EXPECT_EQ(Bytes(mid, 0, 4), (std::vector<int>{5, 199, 0, 42}));
}

TEST(BmpRead, ImageSizeFieldIsNeverTrusted) {
  // 2080-wide 8-bit pictures were written with a wrong image-size field.
  for (std::uint32_t field : {0u, 12345u, 0xFFFFFFF0u}) {
    BmpFile f;
    f.width = 2080;
    f.height = 3;
    f.sizeImage = field;
    f.table = Table(256);
    f.pixels.assign(2080 * 3, 0);
    f.pixels[2080 * 2] = 77;  // first pixel of the top row
    TExtBitmap b = Load(f.Bytes());
    EXPECT_EQ(b.Width(), 2080);
    EXPECT_EQ(b.Height(), 3);
    EXPECT_EQ(b.ScanLine(0)[0], 77);
  }
}

TEST(BmpRead, RefusesMalformedAndUnsupportedFiles) {
  BmpFile good;
  good.width = 2;
  good.height = 2;
  good.table = Table(256);
  good.pixels.assign(8, 1);
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
      {"huge", [](BmpFile& f) { f.width = f.height = 60000; }, "too large"},
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

TEST(BmpWrite, RoundTripsPixelsAndPaletteInBothOrientations) {
  TExtBitmap grey(5, 3, pf8bit);
  std::vector<TPaletteEntry> palette(256);
  for (int i = 0; i < 256; ++i)
    palette[i] = {std::uint8_t(i), std::uint8_t(i / 3), std::uint8_t(255 - i), 0};
  grey.SetPalette(palette);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) grey.ScanLine(y)[x] = std::uint8_t(y * 50 + x);
  TExtBitmap colour(3, 2, pf24bit);
  for (int y = 0; y < 2; ++y)
    for (int i = 0; i < 9; ++i) colour.ScanLine(y)[i] = std::uint8_t(y * 100 + i * 7);

  for (bool topDown : {false, true}) {
    const std::string file = Save(grey, topDown);
    // Height sign as asked; 5-pixel rows padded to 8 bytes.
    const std::int32_t height =
        std::int32_t(std::uint8_t(file[22]) | std::uint8_t(file[23]) << 8 |
                     std::uint8_t(file[24]) << 16 | std::uint8_t(file[25]) << 24);
    EXPECT_EQ(height, topDown ? -3 : 3);
    EXPECT_EQ(file.size(), 54u + 1024u + 3u * 8u);
    TExtBitmap g = Load(file);
    EXPECT_EQ(g.Palette(), palette);
    for (int y = 0; y < 3; ++y) EXPECT_EQ(Bytes(g, y, 5), Bytes(grey, y, 5));

    TExtBitmap c = Load(Save(colour, topDown));
    EXPECT_EQ(c.PixelFormat(), pf24bit);
    EXPECT_TRUE(c.Palette().empty());
    for (int y = 0; y < 2; ++y) EXPECT_EQ(Bytes(c, y, 9), Bytes(colour, y, 9));
  }

  // Low depths come back as 8-bit with the same indices.
  TExtBitmap four(3, 1, pf4bit);
  four.ScanLine(0)[0] = 0x5A;
  four.ScanLine(0)[1] = 0xF0;
  TExtBitmap back = Load(Save(four));
  EXPECT_EQ(back.PixelFormat(), pf8bit);
  EXPECT_EQ(Bytes(back, 0, 3), (std::vector<int>{5, 10, 15}));
  EXPECT_EQ(back.Palette(), GreyPalette(16));

  TExtBitmap sixteen(2, 2, pf16bit);
  EXPECT_THROW(Save(sixteen), EInvalidGraphicOperation);
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
  TExtBitmap two(3, 2, pf8bit);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) two.ScanLine(y)[x] = std::uint8_t(10 * y + x);
  two.Rotate();
  EXPECT_EQ(Bytes(two, 0, 3), (std::vector<int>{0, 1, 2}));
  EXPECT_FALSE(two.Modified());

  TExtBitmap three(3, 3, pf8bit);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) three.ScanLine(y)[x] = std::uint8_t(10 * y + x);
  three.Rotate();
  EXPECT_EQ(Bytes(three, 2, 3), (std::vector<int>{2, 1, 0}));
  EXPECT_EQ(Bytes(three, 0, 3), (std::vector<int>{22, 21, 20}));
  EXPECT_TRUE(three.Modified());
  EXPECT_EQ(three.Palette(), GreyPalette());

  TExtBitmap colour(2, 3, pf24bit);
  const std::uint8_t top[] = {1, 2, 3, 4, 5, 6};
  std::copy(top, top + 6, colour.ScanLine(0));
  colour.Rotate();
  EXPECT_EQ(Bytes(colour, 2, 6), (std::vector<int>{4, 5, 6, 1, 2, 3}));

  TExtBitmap wide(2, 3, pf32bit);
  try {
    wide.Rotate();
    FAIL() << "no error";
  } catch (const EInvalidGraphicOperation& e) {
    EXPECT_STREQ(e.what(), "Error: Rotate called without 8-bit or 24-bit pixels.");
  }
}

TEST(ExtBitmap, MakeFramedIplPlacesTheBitmapAtItsOffset) {
  TExtBitmap b(3, 2, pf8bit);
  const std::uint8_t rows[2][3] = {{1, 2, 3}, {4, 5, 6}};
  for (int y = 0; y < 2; ++y) std::copy(rows[y], rows[y] + 3, b.ScanLine(y));
  auto pixels = [](const TIplImage& im) {
    std::vector<std::vector<int>> p(im.Height());
    for (int y = 0; y < im.Height(); ++y)
      p[y].assign(im.Row8(y), im.Row8(y) + im.Width() * im.Channels());
    return p;
  };
  using Rows = std::vector<std::vector<int>>;

  auto same = b.MakeIPL();
  ASSERT_TRUE(same);
  EXPECT_EQ(same->Channels(), 1);
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

  TExtBitmap one(4, 4, pf1bit);
  try {
    one.MakeIPL();
    FAIL() << "no error";
  } catch (const EInvalidGraphicOperation& e) {
    EXPECT_STREQ(e.what(), "Error: MakeIPL or MakeFramedIPL called without 8 or 24-bit pixels.");
  }
}

TEST(ExtBitmap, AssignCopiesALibraryImage) {
  TIplImage grey(3, 2, idDepth8u);
  grey.Row8(1)[2] = 200;
  TExtBitmap b(7, 7, pf24bit);
  b.Assign(grey);
  EXPECT_EQ(b.PixelFormat(), pf8bit);
  EXPECT_EQ(b.Width(), 3);
  EXPECT_EQ(b.Height(), 2);
  EXPECT_EQ(Bytes(b, 1, 3), (std::vector<int>{0, 0, 200}));

  TIplImage colour(2, 1, idDepth8u, 3);
  colour.Row8(0)[5] = 17;
  b.Assign(colour);
  EXPECT_EQ(b.PixelFormat(), pf24bit);
  EXPECT_EQ(Bytes(b, 0, 6), (std::vector<int>{0, 0, 0, 0, 0, 17}));

  TIplImage deep(2, 2, idDepth16u);
  EXPECT_THROW(b.Assign(deep), EInvalidGraphicOperation);
}

TEST(ExtBitmap, GreyPaletteOnlyChangesWhatIsNotGrey) {
  TExtBitmap b(2, 2, pf8bit);
  EXPECT_EQ(b.Palette(), GreyPalette());
  b.MakeGreyPalette();
  EXPECT_FALSE(b.Modified());

  auto tinted = GreyPalette();
  tinted[7].blue = 0;
  b.SetPalette(tinted);
  b.MakeGreyPalette();
  EXPECT_TRUE(b.Modified());
  EXPECT_EQ(b.Palette(), GreyPalette());

  b.SetModified(false);
  b.SetPalette({});  // no palette: left alone
  b.MakeGreyPalette();
  EXPECT_TRUE(b.Palette().empty());
  EXPECT_FALSE(b.Modified());
  EXPECT_THROW(b.SetPalette(std::vector<TPaletteEntry>(257)), EInvalidGraphicOperation);
}

TEST(ExtBitmap, ResizingKeepsTheSharedPartAndRowsArePadded) {
  TExtBitmap b(3, 2, pf24bit);
  EXPECT_EQ(b.RowBytes(), 12);
  b.ScanLine(1)[8] = 5;
  b.SetSize(5, 3);
  EXPECT_EQ(b.RowBytes(), 16);
  EXPECT_EQ(b.ScanLine(1)[8], 5);
  EXPECT_EQ(b.ScanLine(2)[0], 0);
  b.SetHeight(1);
  EXPECT_THROW(b.ScanLine(1), std::out_of_range);
  EXPECT_EQ(b.Histogram().BinCount(), 256);
}

TEST(EkHistogram, CountsLevelsInRangeAndClears) {
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
