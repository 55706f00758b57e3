// Connects the decoder's post-processing to the NOAA channel and telemetry
// stage of noaa/.
#pragma once

#include "decode/SignalVideoDecode.h"

namespace vivurozed {

// Runs ProcessNOAA on a request of MakeImage; hands back the resampled,
// sync-aligned picture as the replacement for the display steps.
bool RunNoaaStage(TNoaaStageRequest& request);

// The stage to install with TSatelliteVideoDecoder::SetNoaaStage.
inline TNoaaStage NoaaStage() {
  return RunNoaaStage;
}

}  // namespace vivurozed
