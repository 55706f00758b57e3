#include "gui/ColourMapWindow.h"

#include <QFontMetrics>
#include <QPainter>

#include <cmath>

namespace vivurozed {

namespace {
constexpr int kScaleHeight = 28;
}

TColourMapWindow::TColourMapWindow(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setObjectName("colourMap");
  setMinimumSize(300, 200);
  resize(500, 360);
}

void TColourMapWindow::SetMap(const QImage& lookup, const QString& modelName, bool metric) {
  lookup_ = lookup;
  metric_ = metric;
  setWindowTitle("Thermal colour map - " + modelName + " colour model");
  update();
}

QString TColourMapWindow::ScaleLabel(int celsius, bool metric) {
  if (metric) return QString::number(celsius) + "°C";
  return QString::number(std::lround(celsius * 9.0 / 5.0 + 32)) + "°F";
}

void TColourMapWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  const int w = width(), h = height() - kScaleHeight;
  if (!lookup_.isNull() && h > 0) painter.drawImage(QRect(0, 0, w, h), lookup_);
  const QFontMetrics metrics(font());
  for (int t = -50; t <= 30; t += 10) {
    const int x = (t + 60) * w / 100;
    painter.setPen(QColor(128, 128, 128));
    painter.drawLine(x, h, x, h + 6);
    painter.setPen(palette().windowText().color());
    const QString label = ScaleLabel(t, metric_);
    painter.drawText(x - metrics.horizontalAdvance(label) / 2, h + 8 + metrics.ascent(), label);
  }
}

}  // namespace vivurozed
