// Feeds arbitrary bytes to the JPEG reader at every scale, into bitmaps of
// both formats and with the format taken from the file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "image/BMPExtImage.h"
#include "image/JPEG_IO.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The reader takes a file name, so the input goes through a file of its own.
  static const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("vivurozed-jpegfuzz-" + std::to_string(::getpid()));
  static const bool removedAtExit = std::atexit([] {
                                      std::error_code ec;
                                      std::filesystem::remove(file, ec);
                                    }) == 0;
  (void)removedAtExit;
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  const int scale = size > 0 ? data[size - 1] & 3 : 0;
  vivurozed::TExtBitmap grey(1, 1, vivurozed::pf8bit);
  vivurozed::LoadJPEGIntoBitmap(grey, file, false, scale);
  vivurozed::TExtBitmap colour;
  vivurozed::LoadJPEGIntoBitmap(colour, file, true, 3 - scale);
  return 0;
}
