// Feeds arbitrary bytes to the temperature-to-colour lookup loader as a
// lookup file in a folder of its own; whatever it takes must be the
// 100 x 256 24-bit picture the false colour indexes.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "SilentMessages.h"
#include "noaa/FalseColour.h"
#include "platform/UserMessages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static SilentMessages messages;
  vivurozed::SetUserMessages(&messages);
  static const std::filesystem::path folder =
      (std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                 : std::filesystem::temp_directory_path()) /
      ("lookups-fuzz-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  {
    std::ofstream out(folder / "TempToColourFuzzed.bmp", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  for (const auto& map : vivurozed::LoadLookups({folder})) {
    const vivurozed::TExtBitmap& lookup = map->Lookup();
    if (lookup.Width() != 100 || lookup.Height() != 256 ||
        lookup.PixelFormat() != vivurozed::pf24bit)
      __builtin_trap();
    unsigned sum = 0;
    for (int y = 0; y < lookup.Height(); ++y) sum += lookup.ScanLine(y)[3 * 99 + 2];
    if (sum > 255u * 256u) __builtin_trap();
  }
  return 0;
}
