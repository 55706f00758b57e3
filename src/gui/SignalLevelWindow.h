// The signal-level window: a small window beside the main one showing the
// level of the live input while a live run receives it.
#pragma once

#include <QTimer>
#include <QWidget>

#include <functional>

#include "signal/LiveInput.h"

namespace vivurozed {

class TLevelMeter;

class TSignalLevelWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kPollMs = 80;

  explicit TSignalLevelWindow(QWidget* parent = nullptr);

  // Where the levels come from while a live run goes on; empty when none.
  using TLevelSource = std::function<TLiveInput::TLevels()>;
  void SetSource(TLevelSource source);
  TLevelMeter* Meter() const { return meter_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void Poll();

  TLevelMeter* meter_;
  TLevelSource source_;
  QTimer timer_;
};

}  // namespace vivurozed
