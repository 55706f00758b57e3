// Connects the decoder's post-processing to the NOAA channel and telemetry
// stage of noaa/.
#pragma once

#include "decode/SignalVideoDecode.h"

namespace vivurozed {

// Runs ProcessNOAA on a request of MakeImage. The decoder's picture is left
// as decoded for the display steps that follow.
bool RunNoaaStage(TNoaaStageRequest& request);

// The stage to install with TSatelliteVideoDecoder::SetNoaaStage.
inline TNoaaStage NoaaStage() {
  return RunNoaaStage;
}

}  // namespace vivurozed
