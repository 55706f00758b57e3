#include "decode/NoaaStage.h"

#include "noaa/FalseColour.h"
#include "noaa/SignalNOAAapt.h"

namespace vivurozed {

bool RunNoaaStage(TNoaaStageRequest& request) {
  TNoaaProcessing job;
  job.image = &request.image;
  job.channelA = request.pictures.channelA;
  job.channelB = request.pictures.channelB;
  job.log = request.log;
  job.firstCleanLine = request.firstCleanLine;
  job.lastCleanLine = request.lastCleanLine;
  job.tempToColourLookup =
      request.tempToColourLookup ? &request.tempToColourLookup->Lookup() : nullptr;
  job.celsius = request.pictures.celsius;
  job.irPicture = request.pictures.infrared;
  job.falseColour = request.pictures.falseColour;
  job.onProgress = request.progress;
  job.gamma = request.gamma;
  job.sharpen = static_cast<TNoaaSharpen>(request.sharpen);
  job.largeImage = request.largeImage;
  job.equaliseHistogram = request.equaliseHistogram;
  job.cropNoise = request.cropNoise;
  job.illumination = static_cast<TIllumination>(request.illumination);
  job.rotate180 = request.rotate180;
  job.luminanceFromIR = request.pictures.luminanceFromIR;
  job.greenVegetation = request.pictures.greenVegetation;
  job.frameMarkers = request.frameMarkers;
  job.sensor = &request.sensor;
  // The stage works on a resampled copy of its own; the display steps that
  // follow measure the picture at sample resolution, so the decoder's image
  // stays as decoded.
  job.keepResampled = false;

  const bool done = ProcessNOAA(job);
  request.firstCleanLine = job.firstCleanLine;
  request.lastCleanLine = job.lastCleanLine;
  request.minuteMarkerPhase = job.minuteMarkerPhase;
  request.lineStats.clear();
  for (const NoaaLineStats& s : job.lineStats)
    request.lineStats.push_back({s.spaceA, s.telemetryA, s.spaceB, s.telemetryB, s.spaceASd,
                                 s.telemetryASd, s.spaceBSd, s.telemetryBSd, s.black, s.gain});
  return done;
}

}  // namespace vivurozed
