// A level meter for live audio: the RMS as a bar and the peak as a marker
// on a dB scale, with a lamp that stays lit a while after the input clipped.
#pragma once

#include <QElapsedTimer>
#include <QWidget>

namespace vivurozed {

class TLevelMeter : public QWidget {
  Q_OBJECT

 public:
  static constexpr double kFloorDb = -60;
  // A peak this close to full scale has most likely been cut off.
  static constexpr float kClipLevel = 0.98f;
  static constexpr int kClipHoldMs = 2000;

  explicit TLevelMeter(QWidget* parent = nullptr);

  // Levels as fractions of full scale, 0 .. 1.
  void SetLevels(float peak, float rms);
  // No input: the bars go and the text says why.
  void SetIdle(const QString& text);
  bool Clipping() const;
  float Peak() const { return peak_; }
  QString Text() const;

  // dB of full scale, never below the floor.
  static double ToDb(float level);
  // Where a level lies along the scale, 0 .. 1.
  static double ScalePosition(float level);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  float peak_ = 0, rms_ = 0;
  bool idle_ = true;
  QString idleText_;
  QElapsedTimer clipped_;
};

}  // namespace vivurozed
