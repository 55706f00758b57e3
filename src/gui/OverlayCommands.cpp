#include "gui/OverlayCommands.h"

#include <filesystem>

#include "app/ZevuvidInfo.h"
#include "gui/ConfirmPassDialog.h"
#include "gui/OverlayOptionsDialog.h"
#include "gui/ZeveDuruvizDialog.h"
#include "platform/UserMessages.h"

namespace vivurozed {

namespace {

namespace fs = std::filesystem;
constexpr int kSampleRows = 400;

}  // namespace

bool TOverlayCommands::ConfirmPass(TPassPrediction& pass) {
  TConfirmPassDialog dialog(pass, parent_);
  if (dialog.exec() != QDialog::Accepted) return false;
  pass = dialog.Pass();
  return true;
}

TOverlayCommands::TAfter TOverlayCommands::ZeveDuruvizOptions() {
  TZeveDuruvizDialog dialog(run_.Settings(), ReadZevuvidInfo(), parent_);
  if (dialog.exec() != QDialog::Accepted) return oaNothing;
  const bool predictAgain = dialog.Store();
  const TMainSettings& s = run_.Settings();
  TDiagnostics& log = run_.Log();
  log.Add("ZeveDuruviz settings");
  log.Add("  Active satellites: " + s.ActiveSats.Value());
  log.Add(Format("  AOS at %d degrees northbound, %d degrees southbound", s.AOSdegreesN.Value(),
                 s.AOSdegreesS.Value()));
  log.Add("  Keplers: " + s.KepsCurrPath.Value() + "  (full: " + s.KepsFullPath.Value() + ")");
  log.Add("  Home caption: " + s.HomeCaption.Value() + "  marker: \"" + s.HomeSymbol.Value() +
          "\"");
  log.Add(std::string("  Overlay ") + (s.ZeveDuruviz.Value() ? "enabled" : "disabled") +
          (s.ConfirmPass.Value() ? ", passes confirmed" : ""));
  return predictAgain ? oaReload : oaRender;
}

TOverlayCommands::TAfter TOverlayCommands::AppearanceOptions() {
  TRunOverlay& overlay = run_.Overlay();
  std::optional<TOverlaySample> sample;
  if (TOverlaySample s; overlay.Sample(run_.Pictures(), kSampleRows, s)) sample = std::move(s);
  const TDateTime time = overlay.Pass() ? overlay.Pass()->aos : 0;
  const TOverlayAppearance before = AppearanceFromSettings(run_.Settings());
  TOverlayOptionsDialog dialog(before, overlay.UserCaption(), overlay.AutomaticCaptionLines(), time,
                               std::move(sample), parent_);
  if (dialog.exec() != QDialog::Accepted) return oaNothing;
  StoreAppearance(dialog.Appearance(), run_.Settings());
  const auto caption = dialog.Caption();
  if (caption) overlay.SetUserCaption(*caption);
  return dialog.Appearance() != before || caption ? oaRender : oaNothing;
}

bool TOverlayCommands::Nudge(int down, int right, bool turned) {
  // The offsets count overlay rows and columns from the picture's first
  // pixel: moving the drawing down means a smaller offset, unless the
  // picture is shown turned.
  const int sign = turned ? 1 : -1;
  TOverlayNudge nudge = run_.Overlay().Nudge(Model());
  const TOverlayNudge before = nudge;
  nudge.lines += sign * down;
  nudge.pixels += sign * right;
  run_.Overlay().SetNudge(Model(), nudge);
  return nudge != before;
}

bool TOverlayCommands::ResetNudge() {
  const TOverlayNudge before = run_.Overlay().Nudge(Model());
  run_.Overlay().SetNudge(Model(), TOverlayNudge{});
  return before != TOverlayNudge{};
}

std::string TOverlayCommands::SaveLocationData() {
  const std::string name = fs::path(run_.OutputName()).replace_extension(".lcn").string();
  if (run_.Overlay().SaveLocationData(name)) return name;
  UserMessages().Show("Error saving to file: " + name, "");
  return {};
}

std::string TOverlayCommands::SaveOverlayOnly() {
  const std::string name =
      fs::path(run_.OutputName()).replace_extension().string() + "_ovl_only.bmp";
  if (run_.Overlay().SaveOverlayOnly(name, run_.Pictures())) return name;
  UserMessages().Show("Error saving to file: " + name, "");
  return {};
}

}  // namespace vivurozed
