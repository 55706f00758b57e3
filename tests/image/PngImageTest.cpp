#include "image/PngImage.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <sstream>

#include "WavWriter.h"
#include "image/BMPExtImage.h"

namespace vivurozed {
namespace {

using Bytes = std::vector<std::uint8_t>;
using vivurozed::testing::ReadBytes;
using vivurozed::testing::TempDir;

// PNG files built by hand from the format's definition, so that the reader
// is checked against files our writer did not make.
void Put32(Bytes& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(std::uint8_t(v >> shift));
}

void AddChunk(Bytes& png, const std::string& type, const Bytes& data) {
  Put32(png, std::uint32_t(data.size()));
  Bytes body(type.begin(), type.end());
  body.insert(body.end(), data.begin(), data.end());
  png.insert(png.end(), body.begin(), body.end());
  Put32(png, std::uint32_t(crc32(0, body.data(), uInt(body.size()))));
}

Bytes Text(const std::string& key, const std::string& text) {
  Bytes data(key.begin(), key.end());
  data.push_back(0);
  data.insert(data.end(), text.begin(), text.end());
  return data;
}

// rows: the raw bytes of each row, without the filter byte.
Bytes HandMadePng(std::uint32_t width, std::uint32_t height, int depth, int colourType,
                  const std::vector<Bytes>& rows,
                  const std::vector<std::pair<std::string, Bytes>>& extra = {}) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  Bytes ihdr;
  Put32(ihdr, width);
  Put32(ihdr, height);
  ihdr.insert(ihdr.end(), {std::uint8_t(depth), std::uint8_t(colourType), 0, 0, 0});
  AddChunk(png, "IHDR", ihdr);
  for (const auto& [type, data] : extra) AddChunk(png, type, data);
  Bytes raw;
  for (const Bytes& row : rows) {
    raw.push_back(0);  // filter: none
    raw.insert(raw.end(), row.begin(), row.end());
  }
  uLongf size = compressBound(uLong(raw.size()));
  Bytes packed(size);
  EXPECT_EQ(compress(packed.data(), &size, raw.data(), uLong(raw.size())), Z_OK);
  packed.resize(size);
  AddChunk(png, "IDAT", packed);
  AddChunk(png, "IEND", {});
  return png;
}

TPngImage ReadPng(const Bytes& bytes, bool expand) {
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  TPngImage png;
  png.Expand = expand;
  png.LoadFromStream(in);
  return png;
}

TExtBitmap GreyPicture(int width, int height) {
  TExtBitmap bitmap(width, height, pf8bit);
  bitmap.SetPalette(GreyPalette(256));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) bitmap.ScanLine(y)[x] = std::uint8_t(x * 7 + y * 3);
  return bitmap;
}

TExtBitmap ColourPicture(int width, int height) {
  TExtBitmap bitmap(width, height, pf24bit);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = bitmap.ScanLine(y) + 3 * x;
      p[0] = std::uint8_t(x * 5);       // blue
      p[1] = std::uint8_t(y * 11);      // green
      p[2] = std::uint8_t(x * y + 17);  // red
    }
  return bitmap;
}

// A palette picture looked up into blue-green-red.
TExtBitmap Expanded(const TExtBitmap& picture) {
  if (picture.PixelFormat() == pf24bit) return picture;
  TExtBitmap out(picture.Width(), picture.Height(), pf24bit);
  for (int y = 0; y < picture.Height(); ++y)
    for (int x = 0; x < picture.Width(); ++x) {
      const TPaletteEntry& e = picture.Palette()[picture.ScanLine(y)[x]];
      std::copy_n(Bytes{e.blue, e.green, e.red}.begin(), 3, out.ScanLine(y) + 3 * x);
    }
  return out;
}

void ExpectSameRows(const TExtBitmap& a, const TExtBitmap& b) {
  ASSERT_EQ(a.PixelFormat(), b.PixelFormat());
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  const int bytes = a.Width() * (a.PixelFormat() == pf8bit ? 1 : 3);
  for (int y = 0; y < a.Height(); ++y)
    ASSERT_TRUE(std::equal(a.ScanLine(y), a.ScanLine(y) + bytes, b.ScanLine(y))) << "row " << y;
}

class PngImageTest : public ::testing::Test {
 protected:
  TempDir dir;
};

TEST_F(PngImageTest, WrittenPicturesRoundTripExactlyInEveryForm) {
  TExtBitmap palette = GreyPicture(20, 6);
  std::vector<TPaletteEntry> odd(256);
  for (int i = 0; i < 256; ++i)
    odd[i] = {std::uint8_t(255 - i), std::uint8_t(i / 2), std::uint8_t(i * 3), 0};
  palette.SetPalette(odd);
  const struct {
    const char* what;
    TExtBitmap picture;
    int colourType;
    std::vector<std::string> texts;  // blank texts are not written
  } cases[] = {
      {"grey",
       GreyPicture(37, 11),
       pctGrey,
       {"Author=Me", "Description=Image from weather satellite", "Software=Vivurozed",
        "Title=Main image from pass: NOAA 15"}},
      {"palette", palette, pctPalette, {}},
      {"colour", ColourPicture(33, 17), pctRGB, {"Software=Vivurozed", "Title=Colour"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string text[4];  // author, description, software, title
    for (const std::string& t : c.texts) {
      const auto eq = t.find('=');
      const char* keys[] = {"Author", "Description", "Software", "Title"};
      text[std::find(keys, keys + 4, t.substr(0, eq)) - keys] = t.substr(eq + 1);
    }
    const auto name = dir / (std::string(c.what) + ".png");
    ASSERT_TRUE(SaveBitmapAsPNG(c.picture, name, text[0], text[1], text[2], text[3]));
    const TPngImage png = ReadPng(ReadBytes(name), false);
    EXPECT_EQ(png.ColourType(), c.colourType);
    EXPECT_EQ(png.Texts(), c.texts);
    EXPECT_EQ(png.Title(), text[3]);
    EXPECT_GT(png.ModificationTime(), 40000.0);  // written now, well after 2009
    if (c.colourType == pctRGB) {
      EXPECT_EQ(png.Row(4)[3 * 5], c.picture.ScanLine(4)[3 * 5 + 2]);  // red first in the file
    }
    TExtBitmap back(3, 3, pf8bit);  // the format comes from the file
    ASSERT_TRUE(LoadPNGIntoBitmap(back, name, false));
    ExpectSameRows(back, c.picture);
    if (c.colourType != pctRGB) {
      EXPECT_EQ(back.Palette(), c.picture.Palette());
    }
    ASSERT_TRUE(LoadPNGIntoBitmap(back, name, true));
    ExpectSameRows(back, Expanded(c.picture));
  }
}

TEST_F(PngImageTest, TextKeysIgnoreCaseLatin1BecomesUtf8AndUtf8RoundTrips) {
  const Bytes file = HandMadePng(1, 1, 8, 0, {{200}},
                                 {{"tEXt", Text("title", "lower-case key")},
                                  {"tEXt", Text("AUTHOR", "caf\xe9")},
                                  {"tEXt", Text("Comment", "other")}});
  const TPngImage png = ReadPng(file, true);
  EXPECT_EQ(png.Title(), "lower-case key");
  EXPECT_EQ(png.Author(), "caf\xc3\xa9");
  EXPECT_EQ(png.Texts().back(), "Comment=other");
  EXPECT_EQ(png.Row(0)[0], 200);

  const auto name = dir / "utf8.png";
  ASSERT_TRUE(
      SaveBitmapAsPNG(GreyPicture(2, 2), name, "J\xc3\xb6rg", "d", "", "\xc3\xa9t\xc3\xa9"));
  const TPngImage back = ReadPng(ReadBytes(name), true);
  EXPECT_EQ(back.Author(), "J\xc3\xb6rg");
  EXPECT_EQ(back.Description(), "d");
  EXPECT_EQ(back.Title(), "\xc3\xa9t\xc3\xa9");
}

// Draws a hand-made file into a fresh bitmap and compares its first row.
void ExpectDrawn(const char* what, const Bytes& file, bool expand, TPixelFormat format,
                 const Bytes& row) {
  SCOPED_TRACE(what);
  TExtBitmap bitmap;
  ReadPng(file, expand).DrawIntoBitmap(bitmap, 0, 0);
  ASSERT_EQ(bitmap.PixelFormat(), format);
  EXPECT_EQ(Bytes(bitmap.ScanLine(0), bitmap.ScanLine(0) + row.size()), row);
}

TEST_F(PngImageTest, EveryDepthAndColourTypeOfOtherWritersIsRead) {
  const Bytes plte = {10, 20, 30, 40, 50, 60, 70, 80, 90};
  const Bytes four = HandMadePng(3, 1, 4, 3, {{0x21, 0x00}}, {{"PLTE", plte}});
  ExpectDrawn("2-bit grey scaled to 8", HandMadePng(4, 1, 2, 0, {{0x1b}}), false, pf8bit,
              {0, 85, 170, 255});
  ExpectDrawn("16-bit grey draws its high byte",
              HandMadePng(2, 1, 16, 0, {{0x12, 0x34, 0xfe, 0x01}}), false, pf8bit, {0x12, 0xfe});
  ExpectDrawn("4-bit palette as indices", four, false, pf8bit, {2, 1, 0});
  ExpectDrawn("4-bit palette expanded", four, true, pf24bit, {90, 80, 70, 60, 50, 40, 30, 20, 10});
  ExpectDrawn("16-bit RGB", HandMadePng(1, 1, 16, 2, {{1, 2, 3, 4, 5, 6}}), false, pf24bit,
              {5, 3, 1});
  TExtBitmap bitmap;
  ReadPng(four, false).DrawIntoBitmap(bitmap, 0, 0);
  EXPECT_EQ(bitmap.Palette()[2], (TPaletteEntry{70, 80, 90, 0}));

  // 2003-07-15 12:30:00 is day 37817 after 1899-12-30.
  const Bytes time = {0x07, 0xd3, 7, 15, 12, 30, 0};
  const TPngImage png = ReadPng(HandMadePng(2, 1, 8, 2, {{1, 2, 3, 4, 5, 6}},
                                            {{"bKGD", {0, 10, 0, 20, 0, 30}}, {"tIME", time}}),
                                true);
  EXPECT_EQ(png.Background(), (TPngColour{10, 20, 30}));
  EXPECT_FALSE(png.Transparent());
  EXPECT_NEAR(png.ModificationTime(), 37817 + 12.5 / 24, 1e-9);
  EXPECT_EQ(png.FileGamma(), 0);
}

TEST_F(PngImageTest, AlphaBlendsOverTheBitmapAndTransparentShowsTheBackground) {
  // RGBA: opaque red, fully transparent green, half-transparent blue.
  const Bytes file = HandMadePng(3, 1, 8, 6, {{255, 0, 0, 255, 0, 255, 0, 0, 0, 0, 255, 128}},
                                 {{"bKGD", {0, 1, 0, 2, 0, 3}}});
  const TPngImage png = ReadPng(file, true);
  ASSERT_EQ(png.Channels(), 4);
  TExtBitmap bitmap(4, 2, pf24bit);
  std::fill(bitmap.ScanLine(1), bitmap.ScanLine(1) + 12, std::uint8_t(100));
  png.DrawIntoBitmap(bitmap, 1, 1);
  EXPECT_EQ(bitmap.Width(), 4);
  const std::uint8_t* row = bitmap.ScanLine(1);
  EXPECT_EQ(Bytes(row, row + 3), (Bytes{100, 100, 100}));  // left of the picture
  EXPECT_EQ(Bytes(row + 3, row + 6), (Bytes{0, 0, 255}));  // red, blue-green-red order
  EXPECT_EQ(Bytes(row + 6, row + 9), (Bytes{3, 2, 1}));    // the background colour
  // Inverted alpha 127: (100 * 127 + 128 * new) / 255.
  EXPECT_EQ(Bytes(row + 9, row + 12),
            (Bytes{std::uint8_t((100 * 127 + 128 * 255) / 255), std::uint8_t(100 * 127 / 255),
                   std::uint8_t(100 * 127 / 255)}));
  EXPECT_TRUE(bitmap.Modified());
}

TEST_F(PngImageTest, BrokenFilesAreRefusedAndChangeNothing) {
  const Bytes good = HandMadePng(8, 8, 8, 0, std::vector<Bytes>(8, Bytes(8, 77)));
  const auto name = dir / "broken.png";
  TExtBitmap bitmap = GreyPicture(3, 3);

  auto expectRefused = [&](const Bytes& bytes, const char* message) {
    testing::WriteBytes(name, bytes);
    try {
      LoadPNGIntoBitmap(bitmap, name, true);
      ADD_FAILURE() << "accepted";
    } catch (const EPngError& e) {
      if (message) {
        EXPECT_STREQ(e.what(), message);
      }
    }
    EXPECT_EQ(bitmap.Width(), 3);
    EXPECT_EQ(bitmap.ScanLine(2)[2], GreyPicture(3, 3).ScanLine(2)[2]);
  };
  expectRefused(Bytes(good.begin(), good.begin() + 40), nullptr);  // truncated in the header
  expectRefused(Bytes(good.begin(), good.end() - 20), nullptr);    // truncated in the data
  Bytes badCrc = good;
  badCrc[good.size() - 20] ^= 0x40;  // inside IDAT
  expectRefused(badCrc, nullptr);
  Bytes notPng = good;
  notPng[1] = 'J';
  expectRefused(notPng, "Is not a valid PNG !");
  expectRefused({}, "Is not a valid PNG !");
  Bytes lying = HandMadePng(4, 4, 8, 0, std::vector<Bytes>(4, Bytes(4, 1)));
  const Bytes claim = {0x7e, 0, 0, 0x0a, 't', 'E', 'X', 't', 'T', 'i', 't', 'l', 'e', 0};
  lying.insert(lying.begin() + 33, claim.begin(), claim.end());  // right after IHDR
  expectRefused(lying, nullptr);
  Bytes huge = HandMadePng(60000, 60000, 8, 6, {});
  expectRefused(huge, "picture too large: 60000 x 60000 (at most 67 megapixels)");

  EXPECT_THROW(LoadPNGIntoBitmap(bitmap, dir / "missing.png", true), EPngError);
}

TEST_F(PngImageTest, AFailedSaveLeavesTheOldFile) {
  const auto name = dir / "keep.png";
  testing::WriteBytes(name, {1, 2, 3});
  for (TPixelFormat format : {pf1bit, pf32bit, pf16bit}) {
    try {
      SaveBitmapAsPNG(TExtBitmap(4, 4, format), name, "", "", "", "");
      ADD_FAILURE() << "format " << int(format) << " was written";
    } catch (const EPngError& e) {
      EXPECT_STREQ(e.what(), "Unsupported bitmap format");
    }
  }
  EXPECT_THROW(SaveBitmapAsPNG(TExtBitmap(0, 0, pf24bit), name, "", "", "", ""), EPngError);
  EXPECT_EQ(ReadBytes(name), (Bytes{1, 2, 3}));
  EXPECT_THROW(SaveBitmapAsPNG(GreyPicture(2, 2), dir / "no" / "folder.png", "", "", "", ""),
               EPngError);
  ASSERT_TRUE(SaveBitmapAsPNG(GreyPicture(2, 2), name, "", "", "", ""));
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    EXPECT_EQ(entry.path().filename(), "keep.png");
    ++files;
  }
  EXPECT_EQ(files, 1);
}

TEST_F(PngImageTest, ProgressIsThrottledAndAnExceptionFromItPassesThrough) {
  std::vector<std::pair<std::string, int>> reports;
  auto record = [&](const std::string& stage, int percent) {
    reports.emplace_back(stage, percent);
  };
  const auto start = std::chrono::steady_clock::now();
  const auto name = dir / "progress.png";
  ASSERT_TRUE(SaveBitmapAsPNG(ColourPicture(300, 400), name, "", "", "", "", record));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  ASSERT_GE(reports.size(), 2u);
  EXPECT_EQ(reports.front(), (std::pair<std::string, int>("Starting PNG write", 0)));
  EXPECT_EQ(reports.back(), (std::pair<std::string, int>("Ended PNG write", 100)));
  const auto running = std::count_if(reports.begin(), reports.end(),
                                     [](const auto& r) { return r.first == "Running"; });
  EXPECT_LE(running, 1 + elapsed / std::chrono::milliseconds(100));

  TPngImage png;
  reports.clear();
  png.SetOnProgress(record);
  png.LoadFromFile(name);
  EXPECT_EQ(reports.front(), (std::pair<std::string, int>("Start PNG read", 0)));
  EXPECT_EQ(reports.back(), (std::pair<std::string, int>("Ended PNG read", 100)));

  png.SetOnProgress([](const std::string& stage, int) {
    if (stage == "Ended PNG write") throw std::runtime_error("stop");
  });
  std::ostringstream out;
  EXPECT_THROW(png.SaveToStream(out), std::runtime_error);
}

}  // namespace
}  // namespace vivurozed
