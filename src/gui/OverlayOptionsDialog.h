// The overlay's appearance ("Vivurozed - Caption and  Overlay appearance"):
// the caption text, its font, place and band; the grid, boundaries and
// graphics with their colours; the cloud-top colours; the calibration
// strip, the distance scale and the overlay on the infrared picture. A
// sample of the picture is drawn again on every change.
#pragma once

#include <QDialog>
#include <QImage>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/RunOverlay.h"
#include "orbit/SGP_Time.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace vivurozed {

class TOverlayOptionsDialog : public QDialog {
  Q_OBJECT

 public:
  // userCaption: the caption the user wrote, or none; automaticCaption: the
  // one the pass gives; pictureTime: the pass's (0: now); sample: a piece of
  // the run's picture with its overlay (none: a made-up one).
  TOverlayOptionsDialog(const TOverlayAppearance& appearance,
                        const std::vector<std::string>& userCaption,
                        const std::vector<std::string>& automaticCaption, TDateTime pictureTime,
                        std::optional<TOverlaySample> sample, QWidget* parent = nullptr);

  TOverlayAppearance Appearance() const { return appearance_; }
  // The caption as edited; none when left as it was (an emptied caption
  // gives the automatic one back).
  std::optional<std::vector<std::string>> Caption() const;
  // The sample as last drawn.
  const QImage& Sample() const { return drawn_; }

 private:
  QWidget* TextPage();
  QWidget* TextAttributesPage();
  QWidget* LinePage();
  QWidget* CloudTopPage();
  QPushButton* ColourButton(std::int32_t* stored, const QString& name);
  QWidget* Check(const QString& text, bool* value, const QString& name,
                 QPushButton* colour = nullptr);
  std::vector<std::string> SampleCaption() const;
  void ShowFont();
  void Redraw();

  TOverlayAppearance appearance_;
  std::vector<std::string> automaticCaption_;
  QString initialText_;
  bool demoText_ = false;
  TOverlaySample sample_;
  QImage drawn_;
  QPlainTextEdit* caption_ = nullptr;
  QPushButton* font_ = nullptr;
  QLabel* picture_ = nullptr;
  std::vector<std::function<void()>> repaint_;  // the colour patches
};

// A picture with land, sea, coast, grid and a marker, for when no pass is
// at hand.
TOverlaySample MadeUpOverlaySample();

}  // namespace vivurozed
