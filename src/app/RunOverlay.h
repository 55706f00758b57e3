// The overlay's part in a processing run: the pass identification after the
// analysis, the overlay made before the pictures, the overlay versions of the
// pictures, and the location data. Nothing here may cost the run its
// pictures: every failure is logged and the run goes on without an overlay.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/OutputSaving.h"
#include "app/RegistryVariables.h"
#include "map/Overlay.h"
#include "map/OverlayMaker.h"
#include "noaa/Thermal.h"
#include "platform/Diagnostics.h"

namespace vivurozed {

// Local time minus UTC, in minutes, now.
int SystemTimeZoneMinutes();

// What the command line may say about the overlay for one run.
struct TOverlayRequest {
  bool enable = false;   // make the overlay even when the setting is off
  std::string elements;  // an element file or a folder of them; empty: the settings'
  std::optional<double> homeLatitude, homeLongitude;
  std::optional<double> start;  // the recording's start, when the user knows it
  std::string batchElements;    // the "O" letters of an unattended run
  bool batch = false;
};

class TRunOverlay {
 public:
  TRunOverlay(TMainSettings& settings, TDiagnostics& log);
  ~TRunOverlay();

  void Reset();  // a new run: no pass, no overlay
  void SetRequest(TOverlayRequest request) { request_ = std::move(request); }
  bool Enabled() const;

  // After the analysis of a NOAA recording: the satellite, the direction
  // and the times of the pass. False when none could be had (logged).
  bool IdentifyPass(const std::string& fileName, int durationSeconds);
  const std::optional<TPassPrediction>& Pass() const { return pass_; }

  // Before the pictures are made: predicts and draws the overlay for
  // `lines` picture lines, the first beginning `firstLineSeconds` into the
  // recording.
  bool Make(int lines, double firstLineSeconds);
  bool HasOverlay() const;

  // A picture loaded again: the overlay image ("ovl.png", else "ovl.bmp")
  // and text ("ovl.txt") the companion tracker wrote beside it, when there.
  bool LoadCompanionFiles(const std::string& pictureName, bool largeImage);

  // Once the pictures exist: the overlay versions of the main picture, of
  // channel B and of the false colour. markerPhase is the picture line
  // (modulo 120) where the minute marker turns white.
  void Render(TRunPictures& pictures, int markerPhase, bool rotated, bool largeImage,
              bool cropBorders, int sensorModel, const TExtBitmap* lookup, bool cloudTop);

  // The earth points of every picture line.
  bool SaveLocationData(const std::string& fileName);
  // The overlay alone on black, of the false colour's size.
  bool SaveOverlayOnly(const std::string& fileName, const TRunPictures& pictures);

  TOverlayMaker* Maker() { return maker_.get(); }
  // Overlay row of picture line 0, once rendered.
  int LineOffset() const { return lineOffset_; }
  std::string ResultsFolder() const;

 private:
  TOverlayMakerSettings MakerSettings() const;
  TOverlayOptions RenderOptions(bool rotated, bool largeImage, bool cropBorders,
                                const TExtBitmap* lookup, bool cloudTop) const;
  std::vector<std::string> CaptionLines() const;

  TMainSettings& settings_;
  TDiagnostics& log_;
  TOverlayRequest request_;
  std::unique_ptr<TOverlayMaker> maker_;
  std::optional<TPassPrediction> pass_;
  std::string fileName_;
  int pictureLines_ = 0;
  int duration_ = 0;
  double lineZero_ = 0;  // estimated time of picture line 0
  int lineOffset_ = 0;
  TExtBitmap companion_;  // codes as the overlay maker's
  std::vector<std::string> companionText_;
};

}  // namespace vivurozed
