#include "gui/PictureContextMenu.h"

#include "app/MainForm.h"
#include "gui/PictureTabs.h"
#include "noaa/FalseColour.h"
#include "platform/UserMessages.h"

namespace vivurozed {

TPictureContextMenu::TPictureContextMenu(TProcessingRun& run, TPictureTabs& tabs,
                                         TCommands commands)
    : run_(run), tabs_(tabs), commands_(std::move(commands)) {}

bool TPictureContextMenu::Croppable(int tab) const {
  return !commands_.busy() && tab != ptMain && run_.DecodeType() == dpNOAAapt &&
         run_.Decoder().Image() != nullptr && tabs_.HasPicture(tab);
}

TColourMapping* TPictureContextMenu::CloudtopLookup() {
  const TColourMapping* current = run_.ColourLookup();
  for (const auto& map : run_.ColourMaps())
    if (map.get() == current && map->Cloudtop()) return map.get();
  return nullptr;
}

std::unique_ptr<QMenu> TPictureContextMenu::Menu(int tab, QPoint point, QWidget* parent) {
  auto menu = std::make_unique<QMenu>(parent);
  auto add = [&](const QString& text, const char* name, std::function<void()> act) {
    QAction* a = menu->addAction(text);
    a->setObjectName(name);
    QObject::connect(a, &QAction::triggered, menu.get(), std::move(act));
  };
  if (commands_.busy()) return nullptr;
  const QSize size = tabs_.PictureSize(tab);
  if (const auto& data = tabs_.Readouts(); data && CloudtopLookup()) {
    if (const auto celsius =
            LandCelsiusAt(*data, size.width(), size.height(), point.x(), point.y())) {
      add(QString("Recalibrate cloud tops to land at %1°C").arg(*celsius), "calibrateCloudtop",
          [this, tab, point] { CalibrateCloudtop(tab, point); });
    }
  }
  if (Croppable(tab)) {
    if (!menu->isEmpty()) menu->addSeparator();
    const int row = point.y();
    add("Crop away the lines above this one", "cropAbove",
        [this, tab, row] { Crop(csAbove, tab, row); });
    add("Crop away the lines below this one", "cropBelow",
        [this, tab, row] { Crop(csBelow, tab, row); });
    add("Undo cropping", "resetCrop", [this] { ResetCrop(); });
  }
  if (menu->isEmpty()) return nullptr;
  return menu;
}

bool TPictureContextMenu::Crop(TCropSide side, int tab, int row) {
  if (!Croppable(tab)) return false;
  const TCleanLines shown = ShownLines(run_.Decoder());
  const auto cropped =
      CropAt(side, row, tabs_.PictureSize(tab).height(), shown, run_.Decoder().Rotate180);
  if (!cropped) {
    commands_.status(QString("Not cropped: at least %1 lines stay").arg(kMinCroppedLines));
    return false;
  }
  SetShownLines(run_.Decoder(), *cropped);
  if (!commands_.remake()) {
    SetShownLines(run_.Decoder(), shown);
    return false;
  }
  commands_.status(QString("Showing decoded lines %1 to %2 of %3")
                       .arg(cropped->first + 1)
                       .arg(cropped->last + 1)
                       .arg(run_.Decoder().Image()->Height()));
  return true;
}

bool TPictureContextMenu::ResetCrop() {
  if (commands_.busy() || run_.DecodeType() != dpNOAAapt || run_.Decoder().Image() == nullptr)
    return false;
  const TCleanLines shown = ShownLines(run_.Decoder());
  ResetShownLines(run_.Decoder());
  if (!commands_.remake()) {
    SetShownLines(run_.Decoder(), shown);
    return false;
  }
  commands_.status(run_.Options().cropNoise ? "Cropping undone: noisy ends cropped automatically"
                                            : "Cropping undone: every decoded line shown");
  return true;
}

bool TPictureContextMenu::CalibrateCloudtop(int tab, QPoint point) {
  TColourMapping* lookup = commands_.busy() ? nullptr : CloudtopLookup();
  const auto& data = tabs_.Readouts();
  if (!lookup || !data) return false;
  const QSize size = tabs_.PictureSize(tab);
  const auto celsius = LandCelsiusAt(*data, size.width(), size.height(), point.x(), point.y());
  if (!celsius) return false;
  if (UserMessages().AskYesNo(
          "OK to recalibrate display to land temperature " + std::to_string(*celsius),
          "Calibrate Base Cloudtop Display", maNo) != maYes)
    return false;
  // The question waited for the user: a run may have begun meanwhile.
  if (commands_.busy()) return false;
  vivurozed::CalibrateCloudtop(lookup->Lookup(), *celsius);
  commands_.remake();
  commands_.status(QString("Cloud tops shown against land at %1°C").arg(*celsius));
  return true;
}

}  // namespace vivurozed
