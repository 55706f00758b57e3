// The window's overlay commands: the two overlay option dialogs, the
// confirmation of a predicted pass, the nudges of the overlay, and the
// location and overlay-only files. Each works on the run between jobs, on
// the window's thread; the confirmation also while the run waits for it.
#pragma once

#include <QWidget>

#include <string>

#include "app/MainForm.h"

namespace vivurozed {

class TOverlayCommands {
 public:
  // What a change asks of the pictures.
  enum TAfter { oaNothing, oaRender, oaReload };

  TOverlayCommands(QWidget* parent, TProcessingRun& run) : parent_(parent), run_(run) {}

  // The "Confirm pass" dialog; false (prediction kept) when cancelled.
  bool ConfirmPass(TPassPrediction& pass);
  TAfter ZeveDuruvizOptions();
  TAfter AppearanceOptions();

  // Moves the overlay of the current calibration model on the picture
  // shown, down and right (negative: up and left); false when it stayed.
  bool Nudge(int down, int right, bool turned);
  // Back to where the pass puts it; false when it was there.
  bool ResetNudge();

  // Beside the pictures; the name written, or empty (the user was told).
  std::string SaveLocationData();
  std::string SaveOverlayOnly();

 private:
  int Model() const { return run_.Options().sensorModel; }
  QWidget* parent_;
  TProcessingRun& run_;
};

}  // namespace vivurozed
