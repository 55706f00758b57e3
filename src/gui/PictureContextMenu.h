// The menu of a right-click on a picture: crop the pass to its good lines
// (above or below the line clicked, or back to the automatic crop), and
// rebase the cloud-top colours on the land temperature clicked.
#pragma once

#include <QMenu>
#include <QPoint>
#include <QString>

#include <functional>
#include <memory>

#include "app/PictureEdits.h"

namespace vivurozed {

class TPictureTabs;
class TProcessingRun;

class TPictureContextMenu {
 public:
  struct TCommands {
    // Makes the pictures again from what is decoded; false when it cannot
    // start (a run goes on).
    std::function<bool()> remake;
    std::function<void(const QString&)> status;
    // True while a run works on the decoder: nothing is offered or changed.
    std::function<bool()> busy;
  };

  TPictureContextMenu(TProcessingRun& run, TPictureTabs& tabs, TCommands commands);

  // The entries for a click at a point of the tab's picture (caption band
  // excluded); null when none applies. The actions are named "cropAbove",
  // "cropBelow", "resetCrop" and "calibrateCloudtop".
  std::unique_ptr<QMenu> Menu(int tab, QPoint point, QWidget* parent);

  bool Crop(TCropSide side, int tab, int row);
  bool ResetCrop();
  // Asks first; true when the lookup was rewritten.
  bool CalibrateCloudtop(int tab, QPoint point);

 private:
  // The channel and false-colour pictures of a NOAA pass show the crop.
  bool Croppable(int tab) const;
  TColourMapping* CloudtopLookup();

  TProcessingRun& run_;
  TPictureTabs& tabs_;
  TCommands commands_;
};

}  // namespace vivurozed
