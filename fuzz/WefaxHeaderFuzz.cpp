// Feeds arbitrary bytes to the header reading: the first byte picks the
// character set and the rest serve as header text for the name maker and as
// header rows for the bit reader. Any name made must stay in the default's
// folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "decode/SignalWEFAX.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vivurozed;
  if (size == 0) return 0;
  const TDecodeParameters type = data[0] & 1 ? dpGMS : (data[0] & 2 ? dpMeteosat : dpGOES);
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string def = "/pics/run.png";
  const std::string name = MakePictureName(def, text, false);
  const std::filesystem::path made(name);
  if (made.parent_path() != "/pics" || made.filename() == ".." || made.filename() == ".") {
    std::abort();
  }
  // The bytes as one header row of pixels.
  if (size > 1 && size < 100000) {
    const int width = static_cast<int>(size - 1);
    TIplImage image(width, 2, idDepth16u);
    for (int x = 0; x < width; ++x) {
      image.Row16(0)[x] = image.Row16(1)[x] = static_cast<std::uint16_t>(data[1 + x] * 64);
    }
    const std::string header = DecodeHeaderBits(image, 0, 2, type, 11025.0, data[0] % width);
    if (header.size() > 25) std::abort();
    MakePictureName(def, header, false);
  }
  return 0;
}
