// The picture tabs of the main window: the main picture, the NOAA channels
// and the false colour, each plain or with its overlay as chosen, and what
// the cursor reads over them (earth position and look angles, pixel value,
// temperature or SNR, and the ground distance of a measuring drag).
#pragma once

#include <QLabel>
#include <QTabWidget>

#include <memory>
#include <vector>

#include "gui/WindowRunHost.h"

namespace vivurozed {

class TPictureView;

class TPictureTabs : public QTabWidget {
  Q_OBJECT

 public:
  // The readouts go to the three labels.
  TPictureTabs(QLabel* position, QLabel* line, QLabel* value, QWidget* parent = nullptr);

  void Show(const TShownPictures& pictures);
  void Clear();
  // The overlay versions where they exist, else the plain pictures.
  void SetShowOverlay(bool show);
  bool ShowOverlay() const { return showOverlay_; }
  bool HasOverlay() const;
  bool HasPicture(int tab) const { return !Plain(tab).isNull(); }
  // Nothing is read out while off (the command line's run).
  void SetReadoutsOn(bool on) { readoutsOn_ = on; }
  void SetMetric(bool metric) { metric_ = metric; }

  const std::shared_ptr<const TReadoutData>& Readouts() const { return shown_.readouts; }
  TPictureView* CurrentView() const;
  // The current tab's picture is shown turned by 180 degrees.
  bool CurrentTurned() const;
  // The tab's picture without any caption band.
  QSize PictureSize(int tab) const { return Plain(tab).size(); }

 signals:
  // A right-click at a point of the tab's picture (caption band excluded).
  void PictureMenuRequested(int tab, QPoint picturePoint, QPoint globalPoint);

 private:
  const QImage& Plain(int tab) const;
  // Rows of caption band above the picture in the one shown.
  int Top(int tab) const;
  void Apply();
  void ClearReadouts();
  void CursorMoved(int tab, QPoint point);
  void Measuring(int tab, QPoint start, QPoint end);

  QLabel* position_;
  QLabel* line_;
  QLabel* value_;
  std::vector<TPictureView*> views_;  // main, channel A, channel B, false colour
  TShownPictures shown_;
  bool showOverlay_ = true;
  bool readoutsOn_ = true;
  bool metric_ = true;
  bool measuring_ = false;
};

}  // namespace vivurozed
