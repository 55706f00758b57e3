#include "image/JPEG_IO.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

#include <jpeglib.h>

#include "WavWriter.h"
#include "image/BMPExtImage.h"

namespace vivurozed {
namespace {

using Bytes = std::vector<std::uint8_t>;
using vivurozed::testing::TempDir;

using vivurozed::testing::ReadBytes;

// A smooth picture: JPEG's errors on it shrink as the quality grows.
TExtBitmap SmoothColour(int width, int height) {
  TExtBitmap bitmap(width, height, pf24bit);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = bitmap.ScanLine(y) + 3 * x;
      p[0] = std::uint8_t(40 + 150.0 * x / width);                    // blue
      p[1] = std::uint8_t(128 + 80 * std::sin(0.05 * y));             // green
      p[2] = std::uint8_t(200 - 100.0 * (x + y) / (width + height));  // red
    }
  return bitmap;
}

TExtBitmap SmoothGrey(int width, int height) {
  TExtBitmap bitmap(width, height, pf8bit);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      bitmap.ScanLine(y)[x] = std::uint8_t(30 + 190.0 * (x + 2 * y) / (width + 2 * height));
  return bitmap;
}

double MeanAbsoluteError(const TExtBitmap& a, const TExtBitmap& b) {
  const int bytes = a.Width() * (a.PixelFormat() == pf8bit ? 1 : 3);
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int i = 0; i < bytes; ++i) sum += std::abs(a.ScanLine(y)[i] - b.ScanLine(y)[i]);
  return sum / (double(bytes) * a.Height());
}

// The component count of the frame header (SOF0 .. SOF2), from the format.
int FrameComponents(const Bytes& jpeg) {
  for (std::size_t i = 2; i + 9 < jpeg.size(); ++i)
    if (jpeg[i] == 0xff && jpeg[i + 1] >= 0xc0 && jpeg[i + 1] <= 0xc2) return jpeg[i + 9];
  return -1;
}

class JpegIoTest : public ::testing::Test {
 protected:
  TempDir dir;
};

TEST_F(JpegIoTest, ColourRoundTripWithinAQualityDependentTolerance) {
  const TExtBitmap picture = SmoothColour(96, 64);
  double previous = 1e9;
  for (int quality : {20, 75, 95}) {
    std::string leaf = std::to_string(quality);
    leaf += ".jpg";
    const auto name = dir / leaf;
    ASSERT_TRUE(SaveBitmapAsJPEG(picture, name, quality, ""));
    TExtBitmap back;
    ASSERT_TRUE(LoadJPEGIntoBitmap(back, name, true, 0));
    ASSERT_EQ(back.PixelFormat(), pf24bit);
    ASSERT_EQ(back.Width(), 96);
    ASSERT_EQ(back.Height(), 64);
    EXPECT_TRUE(back.Modified());
    const double error = MeanAbsoluteError(picture, back);
    EXPECT_LT(error, quality >= 95 ? 1.5 : quality >= 75 ? 3.0 : 6.0) << quality;
    EXPECT_LT(error, previous) << quality;
    previous = error;
  }
}

TEST_F(JpegIoTest, GreyIsWrittenAsThreeChannelsWithTheComment) {
  const TExtBitmap picture = SmoothGrey(40, 30);
  const auto name = dir / "grey.jpg";
  const std::string comment = "Vivurozed weather satellite decoder";
  ASSERT_TRUE(SaveBitmapAsJPEG(picture, name, 90, comment));
  const Bytes file = ReadBytes(name);
  EXPECT_EQ(FrameComponents(file), 3);
  // COM marker: FF FE, big-endian length counting itself, then the text.
  Bytes marker = {0xff, 0xfe, 0, std::uint8_t(comment.size() + 2)};
  marker.insert(marker.end(), comment.begin(), comment.end());
  EXPECT_NE(std::search(file.begin(), file.end(), marker.begin(), marker.end()), file.end());

  TExtBitmap asFile;
  ASSERT_TRUE(LoadJPEGIntoBitmap(asFile, name, true, 0));
  ASSERT_EQ(asFile.PixelFormat(), pf24bit);  // the file has three channels
  const std::uint8_t* p = asFile.ScanLine(15) + 3 * 20;
  EXPECT_NEAR(p[0], picture.ScanLine(15)[20], 3);
  EXPECT_NEAR(p[1], p[0], 1);
  EXPECT_NEAR(p[2], p[0], 1);

  TExtBitmap asGrey(1, 1, pf8bit);
  ASSERT_TRUE(LoadJPEGIntoBitmap(asGrey, name, false, 0));
  ASSERT_EQ(asGrey.PixelFormat(), pf8bit);
  EXPECT_EQ(asGrey.Palette(), GreyPalette(256));
  EXPECT_LT(MeanAbsoluteError(picture, asGrey), 1.5);
}

TEST_F(JpegIoTest, WithoutTheFormatFlagTheBitmapKeepsItsFormat) {
  TExtBitmap red(16, 16, pf24bit);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) red.ScanLine(y)[3 * x + 2] = 255;
  const auto name = dir / "red.jpg";
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
  const auto big = dir / "big.jpg";
  ASSERT_TRUE(SaveBitmapAsJPEG(SmoothGrey(1000, 750), big, 50, ""));
  const auto odd = dir / "odd.jpg";
  ASSERT_TRUE(SaveBitmapAsJPEG(SmoothColour(33, 17), odd, 50, ""));
  const int expected[4][4] = {
      {1000, 750, 33, 17}, {500, 375, 17, 9}, {250, 188, 9, 5}, {125, 94, 5, 3}};
  for (int scale = 0; scale < 4; ++scale) {
    TExtBitmap a, b;
    ASSERT_TRUE(LoadJPEGIntoBitmap(a, big, true, scale));
    ASSERT_TRUE(LoadJPEGIntoBitmap(b, odd, true, scale));
    EXPECT_EQ(a.Width(), expected[scale][0]) << scale;
    EXPECT_EQ(a.Height(), expected[scale][1]) << scale;
    EXPECT_EQ(b.Width(), expected[scale][2]) << scale;
    EXPECT_EQ(b.Height(), expected[scale][3]) << scale;
  }
  TExtBitmap c;
  EXPECT_FALSE(LoadJPEGIntoBitmap(c, odd, true, 4));
}

// A 4-channel file made with libjpeg itself.
Bytes CmykJpeg() {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = 8;
  c.image_height = 8;
  c.input_components = 4;
  c.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&c);
  jpeg_start_compress(&c, TRUE);
  std::vector<JSAMPLE> row(32, 100);
  while (c.next_scanline < c.image_height) {
    JSAMPROW p = row.data();
    jpeg_write_scanlines(&c, &p, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  Bytes out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

TEST_F(JpegIoTest, CmykAndBrokenFilesAreRefusedAndChangeNothing) {
  const auto name = dir / "x.jpg";
  TExtBitmap bitmap = SmoothGrey(5, 4);
  auto expectRefused = [&](const Bytes& bytes) {
    testing::WriteBytes(name, bytes);
    EXPECT_FALSE(LoadJPEGIntoBitmap(bitmap, name, true, 0));
    EXPECT_EQ(bitmap.Width(), 5);
    EXPECT_EQ(bitmap.ScanLine(3)[4], SmoothGrey(5, 4).ScanLine(3)[4]);
  };
  const Bytes cmyk = CmykJpeg();
  ASSERT_EQ(FrameComponents(cmyk), 4);
  expectRefused(cmyk);

  ASSERT_TRUE(SaveBitmapAsJPEG(SmoothColour(64, 64), name, 80, ""));
  const Bytes good = ReadBytes(name);
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
  testing::WriteBytes(name, {1, 2, 3});
  for (TPixelFormat format : {pf1bit, pf16bit, pf32bit}) {
    try {
      SaveBitmapAsJPEG(TExtBitmap(4, 4, format), name, 75, "");
      ADD_FAILURE() << int(format);
    } catch (const EJpegError& e) {
      EXPECT_STREQ(e.what(), "Cannot save bitmap as JPEG with specified PixelFormat");
    }
  }
  try {
    SaveBitmapAsJPEG(TExtBitmap(0, 0, pf24bit), name, 75, "");
    ADD_FAILURE() << "an empty picture was written";
  } catch (const EJpegError& e) {
    EXPECT_STREQ(e.what(), "Error writing JPEG to file");
  }
  EXPECT_EQ(ReadBytes(name), (Bytes{1, 2, 3}));
  EXPECT_THROW(SaveBitmapAsJPEG(SmoothGrey(4, 4), dir / "no" / "x.jpg", 75, ""), EJpegError);
}

}  // namespace
}  // namespace vivurozed
