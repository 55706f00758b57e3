// JPEG files through libjpeg-turbo: saving a bitmap as a 3-channel YCbCr
// JPEG with a comment, and loading one at full, half, quarter or eighth
// size.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace vivurozed {

class TExtBitmap;

class EJpegError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An 8-bit bitmap is taken as grey (its palette is not looked at), a 24-bit
// one as blue-green-red; both are written as 3-channel YCbCr at the quality
// (1 ... 100), with the comment in a COM marker when it is not empty. Other
// formats raise "Cannot save bitmap as JPEG with specified PixelFormat",
// any other failure "Error writing JPEG to file"; the target then keeps
// what it held.
bool SaveBitmapAsJPEG(const TExtBitmap& bitmap, const std::filesystem::path& name, int quality,
                      const std::string& comment);

// Reads a 1 or 3-channel JPEG at full size (scale 0) or a half, quarter or
// eighth (scale 1, 2, 3; sizes rounded up). With formatFromFile the bitmap
// becomes 8-bit for 1 channel and 24-bit for 3; without it, it keeps its
// format, which must then be 8 or 24-bit. False, with the bitmap left as it
// was, for a missing, truncated or corrupt file, CMYK, or a picture of more
// than kMaxJpegPixelBytes or kMaxPicturePixels; *error, when given, then says
// why.
bool LoadJPEGIntoBitmap(TExtBitmap& bitmap, const std::filesystem::path& name, bool formatFromFile,
                        int scale, std::string* error = nullptr);

inline constexpr std::size_t kMaxJpegPixelBytes = std::size_t(1) << 28;

// The JPEG library the program was built with, e.g. "libjpeg-turbo 2.1.5
// (libjpeg 6.2)".
std::string JpegLibraryVersion();

}  // namespace vivurozed
