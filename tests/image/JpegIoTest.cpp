#include "image/JPEG_IO.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <jpeglib.h>

#include "WavWriter.h"
#include "image/BMPExtImage.h"

namespace vivurozed {
namespace {

using Bytes = std::vector<std::uint8_t>;
using vivurozed::testing::ReadBytes;
using vivurozed::testing::TempDir;
using vivurozed::testing::WriteBytes;

// A smooth picture: JPEG's errors on it shrink as the quality grows.
TExtBitmap Smooth(int width, int height, TPixelFormat format) {
  TExtBitmap bitmap(width, height, format);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      if (format == pf8bit) {
        bitmap.ScanLine(y)[x] = std::uint8_t(30 + 190.0 * (x + 2 * y) / (width + 2 * height));
        continue;
      }
      std::uint8_t* p = bitmap.ScanLine(y) + 3 * x;
      p[0] = std::uint8_t(40 + 150.0 * x / width);                    // blue
      p[1] = std::uint8_t(128 + 80 * std::sin(0.05 * y));             // green
      p[2] = std::uint8_t(200 - 100.0 * (x + y) / (width + height));  // red
    }
  return bitmap;
}

double MeanAbsoluteError(const TExtBitmap& a, const TExtBitmap& b) {
  const int bytes = a.Width() * (a.PixelFormat() == pf8bit ? 1 : 3);
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int i = 0; i < bytes; ++i) sum += std::abs(a.ScanLine(y)[i] - b.ScanLine(y)[i]);
  return sum / (double(bytes) * a.Height());
}

// The offset of the frame header (SOF0 .. SOF2), from the format.
std::size_t FrameHeader(const Bytes& jpeg) {
  for (std::size_t i = 2; i + 9 < jpeg.size(); ++i)
    if (jpeg[i] == 0xff && jpeg[i + 1] >= 0xc0 && jpeg[i + 1] <= 0xc2) return i;
  return jpeg.size();
}

// An 8 x 8 file of level 100 made with libjpeg itself, as other programs do.
Bytes LibJpeg(int components, J_COLOR_SPACE space) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = c.image_height = 8;
  c.input_components = components;
  c.in_color_space = space;
  jpeg_set_defaults(&c);
  jpeg_start_compress(&c, TRUE);
  std::vector<JSAMPLE> row(32, 100);
  for (JSAMPROW p = row.data(); c.next_scanline < c.image_height;) jpeg_write_scanlines(&c, &p, 1);
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  Bytes out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

class JpegIoTest : public ::testing::Test {
 protected:
  TempDir dir;
};

TEST_F(JpegIoTest, RoundTripWithinAQualityDependentTolerance) {
  const TExtBitmap colour = Smooth(96, 64, pf24bit), grey = Smooth(40, 30, pf8bit);
  const struct {
    const TExtBitmap& picture;
    int quality;
    double tolerance;
  } cases[] = {{colour, 20, 6.0}, {colour, 75, 3.0}, {colour, 95, 1.5}, {grey, 90, 1.5}};
  double previous = 1e9;
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.picture.PixelFormat() << " quality " << c.quality);
    const auto name = dir / "q.jpg";
    const std::string comment = "Vivurozed weather satellite decoder";
    ASSERT_TRUE(SaveBitmapAsJPEG(c.picture, name, c.quality, comment));
    // Grey is written as three channels, with the comment in a COM marker:
    // FF FE, big-endian length counting itself, then the text.
    const Bytes file = ReadBytes(name);
    ASSERT_LT(FrameHeader(file), file.size());
    EXPECT_EQ(file[FrameHeader(file) + 9], 3);
    Bytes marker = {0xff, 0xfe, 0, std::uint8_t(comment.size() + 2)};
    marker.insert(marker.end(), comment.begin(), comment.end());
    EXPECT_NE(std::search(file.begin(), file.end(), marker.begin(), marker.end()), file.end());

    TExtBitmap back(2, 2, c.picture.PixelFormat() == pf8bit ? pf24bit : pf8bit);
    ASSERT_TRUE(LoadJPEGIntoBitmap(back, name, true, 0));
    ASSERT_EQ(back.PixelFormat(), pf24bit);  // the file has three channels
    ASSERT_EQ(back.Width(), c.picture.Width());
    ASSERT_EQ(back.Height(), c.picture.Height());
    EXPECT_TRUE(back.Modified());
    if (c.picture.PixelFormat() == pf8bit) {
      const std::uint8_t* p = back.ScanLine(15) + 3 * 20;
      EXPECT_NEAR(p[0], c.picture.ScanLine(15)[20], 3);
      EXPECT_NEAR(p[1], p[0], 1);
      EXPECT_NEAR(p[2], p[0], 1);
      // Kept 8-bit when the bitmap's format is kept.
      ASSERT_TRUE(LoadJPEGIntoBitmap(back = TExtBitmap(1, 1, pf8bit), name, false, 0));
      ASSERT_EQ(back.PixelFormat(), pf8bit);
      EXPECT_EQ(back.Palette(), GreyPalette(256));
    }
    const double error = MeanAbsoluteError(c.picture, back);
    EXPECT_LT(error, c.tolerance);
    if (c.picture.PixelFormat() == pf24bit) {
      EXPECT_LT(error, previous);
      previous = error;
    }
  }
}

TEST_F(JpegIoTest, FilesOfOtherWritersAndTheKeptFormat) {
  const auto name = dir / "x.jpg";
  WriteBytes(name, LibJpeg(1, JCS_GRAYSCALE));
  TExtBitmap bitmap(2, 2, pf24bit);
  ASSERT_TRUE(LoadJPEGIntoBitmap(bitmap, name, true, 0));
  ASSERT_EQ(bitmap.PixelFormat(), pf8bit);
  EXPECT_NEAR(bitmap.ScanLine(4)[4], 100, 1);

  TExtBitmap red(16, 16, pf24bit);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) red.ScanLine(y)[3 * x + 2] = 255;
  ASSERT_TRUE(SaveBitmapAsJPEG(red, name, 95, ""));
  TExtBitmap grey(2, 2, pf8bit);
  ASSERT_TRUE(LoadJPEGIntoBitmap(grey, name, false, 0));
  ASSERT_EQ(grey.PixelFormat(), pf8bit);
  EXPECT_NEAR(grey.ScanLine(8)[8], 0.299 * 255, 2);  // the luma of pure red

  TExtBitmap refused(2, 2, pf32bit);
  EXPECT_FALSE(LoadJPEGIntoBitmap(refused, name, false, 0));
  EXPECT_EQ(refused.Width(), 2);
  EXPECT_TRUE(LoadJPEGIntoBitmap(refused, name, true, 0));
  EXPECT_EQ(refused.PixelFormat(), pf24bit);
}

TEST_F(JpegIoTest, ScaledLoadsRoundTheSizeUp) {
  const auto big = dir / "big.jpg", odd = dir / "odd.jpg";
  ASSERT_TRUE(SaveBitmapAsJPEG(Smooth(1000, 750, pf8bit), big, 50, ""));
  ASSERT_TRUE(SaveBitmapAsJPEG(Smooth(33, 17, pf24bit), odd, 50, ""));
  const int expected[4][4] = {
      {1000, 750, 33, 17}, {500, 375, 17, 9}, {250, 188, 9, 5}, {125, 94, 5, 3}};
  for (int scale = 0; scale < 4; ++scale) {
    TExtBitmap a, b;
    ASSERT_TRUE(LoadJPEGIntoBitmap(a, big, true, scale));
    ASSERT_TRUE(LoadJPEGIntoBitmap(b, odd, true, scale));
    EXPECT_EQ((std::vector<int>{a.Width(), a.Height(), b.Width(), b.Height()}),
              std::vector<int>(expected[scale], expected[scale] + 4))
        << scale;
  }
  TExtBitmap c;
  EXPECT_FALSE(LoadJPEGIntoBitmap(c, odd, true, 4));
}

TEST_F(JpegIoTest, CmykHugeAndBrokenFilesAreRefusedAndChangeNothing) {
  const auto name = dir / "x.jpg";
  const TExtBitmap before = Smooth(5, 4, pf8bit);
  TExtBitmap bitmap = before;
  auto expectRefused = [&](const Bytes& bytes, const std::string& why = "") {
    WriteBytes(name, bytes);
    std::string error;
    EXPECT_FALSE(LoadJPEGIntoBitmap(bitmap, name, true, 0, &error));
    EXPECT_EQ(error, why);
    EXPECT_EQ(bitmap.Width(), 5);
    EXPECT_EQ(bitmap.ScanLine(3)[4], before.ScanLine(3)[4]);
  };
  const Bytes cmyk = LibJpeg(4, JCS_CMYK);
  ASSERT_EQ(cmyk[FrameHeader(cmyk) + 9], 4);
  expectRefused(cmyk);

  ASSERT_TRUE(SaveBitmapAsJPEG(Smooth(64, 64, pf24bit), name, 80, ""));
  const Bytes good = ReadBytes(name);
  Bytes huge = good;  // the frame header's height and width set to 60000
  for (std::size_t i : {5, 7}) {
    huge[FrameHeader(good) + i] = 0xEA;
    huge[FrameHeader(good) + i + 1] = 0x60;
  }
  expectRefused(huge, "picture too large: 60000 x 60000 (at most 67 megapixels)");
  expectRefused(Bytes(good.begin(), good.begin() + good.size() / 2));  // truncated
  expectRefused(Bytes(good.begin(), good.begin() + 100));              // inside the tables
  // JPEG data carries no checksum, so only damage that breaks the structure
  // can be seen: here a stray restart marker in the middle of the scan.
  Bytes garbled = good;
  garbled[good.size() - 60] = 0xff;
  garbled[good.size() - 59] = 0xd5;
  expectRefused(garbled);
  expectRefused({'n', 'o', 't'});
  expectRefused({});
  EXPECT_FALSE(LoadJPEGIntoBitmap(bitmap, dir / "missing.jpg", true, 0));
  EXPECT_FALSE(LoadJPEGIntoBitmap(bitmap, dir.Path(), true, 0));  // a folder
}

TEST_F(JpegIoTest, SaveFailuresRaiseAndKeepTheOldFile) {
  const auto name = dir / "keep.jpg";
  WriteBytes(name, {1, 2, 3});
  auto failure = [&](const TExtBitmap& b) -> std::string {
    try {
      SaveBitmapAsJPEG(b, name, 75, "");
    } catch (const EJpegError& e) {
      return e.what();
    }
    return "written";
  };
  for (TPixelFormat format : {pf1bit, pf16bit, pf32bit})
    EXPECT_EQ(failure(TExtBitmap(4, 4, format)),
              "Cannot save bitmap as JPEG with specified PixelFormat");
  EXPECT_EQ(failure(TExtBitmap(0, 0, pf24bit)), "Error writing JPEG to file");
  EXPECT_EQ(ReadBytes(name), (Bytes{1, 2, 3}));
  EXPECT_THROW(SaveBitmapAsJPEG(Smooth(4, 4, pf8bit), dir / "no" / "x.jpg", 75, ""), EJpegError);
}

}  // namespace
}  // namespace vivurozed
