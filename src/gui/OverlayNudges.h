// The buttons that move the overlay over the picture shown: a line or a
// pixel at a time, a minute of lines, or back to where the pass put it.
#pragma once

#include <QWidget>

namespace vivurozed {

class TOverlayNudges : public QWidget {
  Q_OBJECT

 public:
  explicit TOverlayNudges(QWidget* parent = nullptr);
  // Lines a minute of the picture shown: 120, or 180 on a large picture.
  void SetMinuteLines(int lines) { minuteLines_ = lines; }

 signals:
  // Down and right in picture lines and pixels (negative: up, left).
  void Nudged(int down, int right);
  void ResetPressed();

 private:
  int minuteLines_ = 120;
};

}  // namespace vivurozed
