#include "gui/SignalLevelWindow.h"

#include <QVBoxLayout>

#include "gui/LevelMeter.h"

namespace vivurozed {

namespace {

const char* const kNoInput = "No live input: File > Record and decode... starts one";

}  // namespace

TSignalLevelWindow::TSignalLevelWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool), meter_(new TLevelMeter(this)) {
  setObjectName("signalLevel");
  setWindowTitle("Vivurozed - signal level");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(meter_);
  meter_->SetIdle(kNoInput);
  resize(420, sizeHint().height());
  timer_.setInterval(kPollMs);
  connect(&timer_, &QTimer::timeout, this, &TSignalLevelWindow::Poll);
}

void TSignalLevelWindow::SetSource(TLevelSource source) {
  source_ = std::move(source);
  if (source_) {
    meter_->SetLevels(0, 0);
    if (isVisible()) timer_.start();
  } else {
    timer_.stop();
    meter_->SetIdle(kNoInput);
  }
}

void TSignalLevelWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (source_) timer_.start();
}

void TSignalLevelWindow::hideEvent(QHideEvent* event) {
  // Nobody looks: the levels are not taken.
  timer_.stop();
  QWidget::hideEvent(event);
}

void TSignalLevelWindow::Poll() {
  if (!source_) return;
  const TLiveInput::TLevels levels = source_();
  meter_->SetLevels(levels.peak, levels.rms);
}

}  // namespace vivurozed
