// The buttons that move the overlay over the picture shown: a line or a
// pixel at a time, a minute (120 lines; 180 rows of a large picture), or
// back to where the pass put it.
#pragma once

#include <QWidget>

namespace vivurozed {

class TOverlayNudges : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMinuteLines = 120;

  explicit TOverlayNudges(QWidget* parent = nullptr);

 signals:
  // Down and right in decoded lines and pixels (negative: up, left).
  void Nudged(int down, int right);
  void ResetPressed();
};

}  // namespace vivurozed
