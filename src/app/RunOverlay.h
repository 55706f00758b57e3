// The overlay's part in a processing run: the pass identification after the
// analysis, the overlay made before the pictures, the overlay versions of the
// pictures, and the location data. Nothing here may cost the run its
// pictures: every failure is logged and the run goes on without an overlay.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/OutputSaving.h"
#include "app/PictureReadouts.h"
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

// How the overlay looks: what the settings keep and the options dialog
// edits. Colours as the store keeps them (0x00BBGGRR).
struct TOverlayAppearance {
  TOverlayFont font;
  std::int32_t fontColour = 0, bandColour = 0;
  int textLocation = 0;  // 0 hide, 1..3 top left/centre/right, 4..6 bottom
  bool separateBand = false;
  bool grid = true, boundary = true, graphic = true;
  std::int32_t gridColour = 0, boundaryColour = 0, graphicColour = 0;
  bool soft = false, tempCal = false, scale = false, onIr = true;
  // Cloud-top land and sea, and the pair used once the cloud tops are rebased.
  std::int32_t land = 0, sea = 0, rebasedLand = 0, rebasedSea = 0;
  bool operator==(const TOverlayAppearance&) const = default;
};

TOverlayAppearance AppearanceFromSettings(const TMainSettings& settings);
void StoreAppearance(const TOverlayAppearance& appearance, TMainSettings& settings);
// The drawing options of an appearance; the caption, the offsets and the
// picture's own flags are left to the caller.
TOverlayOptions OverlayOptionsOf(const TOverlayAppearance& appearance);
// The cloud-top colours the options dialog resets to.
TOverlayAppearance FactoryCloudTopColours(TOverlayAppearance appearance);

// The user's shift of the overlay for one calibration model, in decoded
// lines and pixels of a 1040-column picture, as stored ("OvlLineOfs",
// "OvlPixOfs"; a pixel value of 4 is no shift).
struct TOverlayNudge {
  int lines = 0, pixels = 4;
  bool operator==(const TOverlayNudge&) const = default;
};

// A strip of a run's picture and the overlay that meets it: the sample of
// the overlay options.
struct TOverlaySample {
  TExtBitmap picture, overlay;
  TOverlayOptions options;  // where they meet, and the picture's own flags
};

class TRunOverlay {
 public:
  // Asked, when "ConfirmPass" is on and nobody runs unattended, to confirm
  // or change the predicted satellite, start and direction; false keeps the
  // prediction.
  using TConfirmPass = std::function<bool(TPassPrediction& pass)>;

  TRunOverlay(TMainSettings& settings, TDiagnostics& log);
  ~TRunOverlay();

  void Reset();  // a new run: no pass, no overlay
  void SetRequest(TOverlayRequest request) { request_ = std::move(request); }
  bool Enabled() const;

  // After the analysis of a NOAA recording: the satellite, the direction
  // and the times of the pass. False when none could be had (logged).
  bool IdentifyPass(const std::string& fileName, double durationSeconds);
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
  // channel B and of the false colour. markerPhase is the decoded line
  // (modulo 120) where the minute marker turns white; the pictures show
  // `lines` decoded lines from firstLine on.
  void Render(TRunPictures& pictures, int markerPhase, bool rotated, bool largeImage,
              bool cropBorders, int sensorModel, const TExtBitmap* lookup, bool cloudTop,
              int firstLine, int lines);

  // The earth points of every picture line.
  bool SaveLocationData(const std::string& fileName);
  // The overlay alone on black, of the false colour's size.
  bool SaveOverlayOnly(const std::string& fileName, const TRunPictures& pictures);

  void SetOnConfirmPass(TConfirmPass confirm) { onConfirmPass_ = std::move(confirm); }

  // The user's shift for a calibration model (TSensorModel ordinal).
  TOverlayNudge Nudge(int model) const;
  void SetNudge(int model, const TOverlayNudge& nudge);

  // Caption lines the user wrote, drawn instead of the composed ones; none:
  // the composed lines.
  void SetUserCaption(std::vector<std::string> lines) { userCaption_ = std::move(lines); }
  const std::vector<std::string>& UserCaption() const { return userCaption_; }
  // The lines the caption shows.
  std::vector<std::string> CaptionLines() const;
  // The lines it shows when the user wrote none.
  std::vector<std::string> AutomaticCaptionLines() const;

  // Up to `rows` rows from the middle of the false colour (else the main
  // picture) with their overlay, as last rendered. False without an overlay.
  bool Sample(const TRunPictures& pictures, int rows, TOverlaySample& sample) const;

  TOverlayMaker* Maker() { return maker_.get(); }
  // For readers on other threads: a maker is never changed once its
  // overlay is made, and a new pass gets a new one.
  std::shared_ptr<const TOverlayMaker> SharedMaker() const { return maker_; }
  // Overlay row of picture line 0, once rendered.
  int LineOffset() const { return lineOffset_; }
  // Where each picture meets the overlay, by TPictureTab, as last rendered.
  const std::array<TOverlayPlacement, 4>& Placements() const { return placements_; }
  std::string ResultsFolder() const;

 private:
  TOverlayMakerSettings MakerSettings() const;
  TOverlayOptions RenderOptions(bool rotated, bool largeImage, bool cropBorders,
                                const TExtBitmap* lookup, bool cloudTop) const;
  std::vector<std::string> ComposedLines() const;
  // The user's answer to the prediction, logged; the orbit follows a changed
  // satellite or start.
  void ConfirmPass(const std::string& fileName, double durationSeconds, TPassPrediction& pass,
                   bool& above);
  // Overlay rows and columns of the picture's first pixel.
  TOverlayPlacement PlacementFor(int pictureWidth, const TExtBitmap& overlay, bool turned,
                                 const TOverlayNudge& nudge) const;

  TMainSettings& settings_;
  TDiagnostics& log_;
  TOverlayRequest request_;
  TConfirmPass onConfirmPass_;
  std::shared_ptr<TOverlayMaker> maker_;
  std::optional<TPassPrediction> pass_;
  std::string fileName_;
  int pictureLines_ = 0;
  double duration_ = 0;  // seconds
  double lineZero_ = 0;  // estimated time of picture line 0
  bool startFromUser_ = false;
  int lineOffset_ = 0;
  int firstLine_ = 0, shownLines_ = 0;  // the decoded lines the pictures show
  int sensorModel_ = 0;
  bool rotated_ = false, largeImage_ = false, cropBorders_ = false, cloudTop_ = false;
  const TExtBitmap* lookup_ = nullptr;
  std::array<TOverlayPlacement, 4> placements_{};
  TExtBitmap companion_;  // codes as the overlay maker's
  std::vector<std::string> companionText_;
  std::vector<std::string> userCaption_;
};

}  // namespace vivurozed
