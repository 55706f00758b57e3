// The predicted pass put to the user before the overlay is made: satellite,
// UTC date and time of the start, direction. Left alone it closes by itself
// as confirmed once its countdown runs out; any change stops the countdown.
#pragma once

#include <QDialog>
#include <QTimer>

#include "map/OverlayMaker.h"

class QComboBox;
class QDateEdit;
class QLabel;
class QRadioButton;
class QTimeEdit;

namespace vivurozed {

class TConfirmPassDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kTimeoutSeconds = 15;

  explicit TConfirmPassDialog(const TPassPrediction& pass, QWidget* parent = nullptr);

  // The prediction with the satellite, start and direction shown.
  TPassPrediction Pass() const;
  bool CountingDown() const { return timer_.isActive(); }
  int SecondsLeft() const { return count_; }
  // One second of the countdown (the timer's; tests call it directly).
  void Tick();

 private:
  void Changed();
  void ShowCount();

  TPassPrediction pass_;
  QComboBox* satellite_ = nullptr;
  QDateEdit* date_ = nullptr;
  QTimeEdit* time_ = nullptr;
  QRadioButton* south_ = nullptr;
  QRadioButton* north_ = nullptr;
  QLabel* countdown_ = nullptr;
  QTimer timer_;
  int count_ = kTimeoutSeconds;
};

}  // namespace vivurozed
