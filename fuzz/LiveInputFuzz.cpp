// Feeds arbitrary bytes to the header reader of streamed WAVE input, in the
// pieces a pipe may deliver, and the audio after it to the sample converter.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "signal/LiveInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  // The reader sees the header grow: every prefix must be answered sanely.
  vivurozed::TWaveHead head;
  for (std::size_t n = 0; n < size; n += 1 + n / 8) {
    head = vivurozed::ParseWaveHead(bytes.first(n));
    if (head.status != vivurozed::TWaveHead::whNeedMore) break;
  }
  if (head.status == vivurozed::TWaveHead::whNeedMore) head = vivurozed::ParseWaveHead(bytes);
  if (head.status != vivurozed::TWaveHead::whReady || head.dataOffset > size) return 0;
  std::vector<std::int16_t> stereo(2 * 512);
  auto audio = bytes.subspan(head.dataOffset);
  while (!audio.empty()) {
    const std::size_t frames = vivurozed::ConvertToStereo16(audio, head.format, stereo);
    if (frames == 0) break;
    audio = audio.subspan(frames * head.format.BlockAlign);
  }
  return 0;
}
