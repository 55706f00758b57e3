#include "gui/LevelMeter.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace vivurozed {

TLevelMeter::TLevelMeter(QWidget* parent) : QWidget(parent) {
  setObjectName("levelMeter");
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize TLevelMeter::sizeHint() const {
  return {320, 3 * fontMetrics().height() + 16};
}

double TLevelMeter::ToDb(float level) {
  if (level <= 0) return kFloorDb;
  return std::max(kFloorDb, 20 * std::log10(double(level)));
}

double TLevelMeter::ScalePosition(float level) {
  return (ToDb(level) - kFloorDb) / -kFloorDb;
}

void TLevelMeter::SetLevels(float peak, float rms) {
  idle_ = false;
  peak_ = std::clamp(peak, 0.0f, 1.0f);
  rms_ = std::clamp(rms, 0.0f, 1.0f);
  if (peak_ >= kClipLevel) clipped_.start();
  update();
}

void TLevelMeter::SetIdle(const QString& text) {
  idle_ = true;
  idleText_ = text;
  peak_ = rms_ = 0;
  clipped_.invalidate();
  update();
}

bool TLevelMeter::Clipping() const {
  return clipped_.isValid() && clipped_.elapsed() < kClipHoldMs;
}

QString TLevelMeter::Text() const {
  if (idle_) return idleText_;
  return QString("Peak %1 dB   RMS %2 dB").arg(ToDb(peak_), 0, 'f', 1).arg(ToDb(rms_), 0, 'f', 1);
}

void TLevelMeter::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const int line = fontMetrics().height();
  const int lamp = 4 * fontMetrics().averageCharWidth() + 8;
  const QRect bar(4, 4, width() - lamp - 12, line);
  p.fillRect(bar, QColor(32, 32, 32));
  const auto at = [&](double db) {
    return bar.left() + int(bar.width() * (db - kFloorDb) / -kFloorDb);
  };
  if (!idle_) {
    // Green up to -20 dB, amber to -6 dB, red above: a receiver's audio
    // belongs in the middle of the scale.
    const int rmsEnd = bar.left() + int(bar.width() * ScalePosition(rms_));
    const struct {
      double from, to;
      QColor colour;
    } bands[] = {{-60, -20, QColor(40, 170, 60)},
                 {-20, -6, QColor(220, 170, 30)},
                 {-6, 0, QColor(210, 40, 30)}};
    for (const auto& b : bands) {
      const int left = at(b.from), right = std::min(at(b.to), rmsEnd);
      if (right > left) p.fillRect(QRect(left, bar.top(), right - left, bar.height()), b.colour);
    }
    const int peakAt = bar.left() + int(bar.width() * ScalePosition(peak_));
    p.fillRect(QRect(std::max(bar.left(), peakAt - 2), bar.top(), 3, bar.height()), Qt::white);
  }
  // The clipping lamp.
  const QRect lampRect(bar.right() + 8, bar.top(), lamp, bar.height());
  p.fillRect(lampRect, Clipping() ? QColor(230, 30, 30) : QColor(70, 30, 30));
  p.setPen(Clipping() ? Qt::white : QColor(150, 110, 110));
  p.drawText(lampRect, Qt::AlignCenter, "CLIP");
  // The scale: a tick every 10 dB.
  p.setPen(palette().color(QPalette::WindowText));
  for (int db = -60; db <= 0; db += 10) {
    const int x = at(db);
    p.drawLine(x, bar.bottom() + 1, x, bar.bottom() + 4);
    const QString label = QString::number(db);
    const int w = fontMetrics().horizontalAdvance(label);
    p.drawText(std::clamp(x - w / 2, 0, width() - w), bar.bottom() + 4 + line - 2, label);
  }
  p.drawText(QRect(4, bar.bottom() + 6 + line, width() - 8, line), Qt::AlignLeft, Text());
}

}  // namespace vivurozed
