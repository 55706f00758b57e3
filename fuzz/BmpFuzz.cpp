// Feeds arbitrary bytes to the BMP reader; whatever it accepts must convert
// to a library image, turn and write back without fault.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "image/BMPExtImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  vivurozed::TExtBitmap bmp;
  try {
    bmp.LoadFromStream(in);
  } catch (const vivurozed::EInvalidGraphic&) {
    return 0;
  }
  if (bmp.Width() * std::int64_t(bmp.Height()) <= 1 << 20) {
    auto image = bmp.MakeFramedIPL(bmp.Width() + 2, bmp.Height(), 1, -1);
    bmp.Rotate();
    bmp.MakeGreyPalette();
    std::ostringstream out;
    bmp.SaveToStream(out, true);
  }
  return 0;
}
