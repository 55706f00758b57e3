// The overlay's prediction and caption choices ("ZeveDuruviz options"):
// the three caption lines with their preview, the element folders, the
// acquisition thresholds and the home marker, and the satellites a
// recording may be of.
#pragma once

#include <QDialog>
#include <QStringList>

#include <array>

#include "app/RegistryVariables.h"
#include "app/ZevuvidInfo.h"
#include "orbit/SGP_Time.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QSpinBox;

namespace vivurozed {

class TZeveDuruvizDialog : public QDialog {
  Q_OBJECT

 public:
  TZeveDuruvizDialog(TMainSettings& settings, const TZevuvidInfo& zevuvid,
                     QWidget* parent = nullptr);

  // The caption lines as they would read for a pass beginning now.
  QStringList Preview() const;
  // The preview's pass begins at this UTC time instead of now.
  void SetPreviewTime(TDateTime utc);
  // Stores every value. True when the pass must be predicted again for them
  // (more than the caption changed).
  bool Store();

 private:
  QWidget* TextPage();
  QWidget* OrbitPage();
  QWidget* SatellitesPage();
  // The stored mask of a caption line, from its check list and the boxes.
  int Mask(int line) const;
  std::string DateFormat() const;
  void UpdatePreview();

  TMainSettings& settings_;
  TZevuvidInfo zevuvid_;
  TDateTime previewTime_ = 0;  // 0: now

  std::array<QListWidget*, 3> lines_{};
  std::array<QLabel*, 3> preview_{};
  QLineEdit* userText_ = nullptr;
  QSpinBox* spacing_ = nullptr;
  QCheckBox* localTime_ = nullptr;
  QCheckBox* systemDate_ = nullptr;
  QCheckBox* midPass_ = nullptr;
  QLineEdit* currentKeps_ = nullptr;
  QLineEdit* fullKeps_ = nullptr;
  QSpinBox* aosNorth_ = nullptr;
  QSpinBox* aosSouth_ = nullptr;
  QComboBox* marker_ = nullptr;
  QLineEdit* caption_ = nullptr;
  QCheckBox* captionAuto_ = nullptr;
  QCheckBox* localNames_ = nullptr;
  QListWidget* satellites_ = nullptr;
  QCheckBox* confirmPass_ = nullptr;
  QCheckBox* enable_ = nullptr;
};

// The locale's short date in the overlay's date codes ("dd/mm/yyyy").
std::string SystemShortDateFormat();
// A full element path without a trailing "keps" folder, in any case.
std::string WithoutKepsFolder(std::string path);

}  // namespace vivurozed
