// Feeds arbitrary bytes to the ".noa"/".max" line-file reader: once as the
// whole file, where the record count decides, and once tiled into a file of
// enough records, so that the bytes reach the NOAA channel analysis and the
// post-processing.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "decode/NoaaStage.h"
#include "decode/SignalVideoDecode.h"
#include "image/BMPExtImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vivurozed;
  TSatelliteVideoDecoder decoder;
  decoder.SetDecodeParameters(dpNOAAapt);
  if (size > 0 && data[0] & 2) decoder.SetNoaaStage(NoaaStage());
  decoder.LoadFromRawBytes(std::span(data, size));
  if (size == 0) return 0;
  // 702 to 957 records: the fewest the reader takes, and a little more.
  const std::size_t records = 702 + data[0];
  std::vector<std::uint8_t> file(records * 1024);
  for (std::size_t i = 0; i < file.size(); ++i) file[i] = data[i % size];
  if (!decoder.LoadFromRawBytes(file)) __builtin_trap();  // a valid count is always taken
  TExtBitmap main, a, b, infrared, colour;
  std::array<double, 256> celsius{};
  TNoaaPictures noaa{&a, &b, &infrared, &colour, &celsius, (data[0] & 1) != 0, true};
  decoder.MakeImage(&main, noaa);
  if (main.Height() > decoder.MaxLines()) __builtin_trap();
  return 0;
}
