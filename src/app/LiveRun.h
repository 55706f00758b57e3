// What a live run needs beyond a file run: where and under which name the
// received audio is kept, how long the run listens before it decides the
// satellite type, and the picture lines shown while they arrive.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "orbit/SGP_Time.h"

namespace vivurozed {

struct TLiveRunOptions {
  // Where audio from a pipe or the sound card is kept; empty: the image
  // folder setting, else the current folder.
  std::string recordingFolder;
  // "NOAA15" and the like, when known: goes into the recording's name.
  std::string satellite;
  // Seconds of signal analysed before decoding starts (unless the type is
  // given); when no type is found, the analysis is tried again every
  // retrySeconds.
  int listenSeconds = 30;
  int retrySeconds = 15;
  // A run ends by itself after this long.
  int maxSeconds = 30 * 60;
};

// The recording's name as pass identification reads it: MMDDhhmm of
// `start` (shifted by zoneMinutes for users who name recordings in local
// time), "_" and the satellite when known, ".wav"; "-2", "-3" ... before the
// extension when the name is taken.
std::string RecordingPath(const std::string& folder, TDateTime start, int zoneMinutes,
                          const std::string& satellite);

// A stored line (16-bit, at sample resolution) as `width` grey pixels for
// display, `low` .. `high` spread over 0 .. 255.
std::vector<std::uint8_t> PreviewRow(std::span<const std::uint16_t> row, int width, int low,
                                     int high);

}  // namespace vivurozed
