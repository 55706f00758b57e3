// Feeds arbitrary bytes to the PNG reader, with and without expansion, and
// draws whatever it accepts into a bitmap.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "image/BMPExtImage.h"
#include "image/PngImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  for (bool expand : {true, false}) {
    std::istringstream in(bytes);
    vivurozed::TPngImage png;
    png.Expand = expand;
    png.SetOnProgress([](const std::string&, int) {});
    try {
      png.LoadFromStream(in);
    } catch (const vivurozed::EPngError&) {
      continue;
    }
    vivurozed::TExtBitmap bitmap;
    png.DrawIntoBitmap(bitmap, 0, 0);
  }
  return 0;
}
