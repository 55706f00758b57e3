#include "gui/DiagnosticsPlots.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace vivurozed {

namespace {

// A step of 1, 2 or 5 times a power of ten giving about `count` ticks.
double TickStep(double span, int count) {
  if (!(span > 0)) return 1;
  const double raw = span / count;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0})
    if (raw <= m * power) return m * power;
  return 10 * power;
}

QString TickText(double v, double step) {
  // Correlations of 16-bit audio run to tens of millions.
  if (std::abs(step) >= 1e5) return QString::number(v, 'g', 3);
  const int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step)));
  return QString::number(v, 'f', std::min(decimals, 6));
}

}  // namespace

QRectF PaintPlot(QPainter& painter, const QRectF& rect, const TPlotSeries& series) {
  const QFontMetrics metrics(painter.font());
  const double line = metrics.height();
  painter.setPen(Qt::black);
  painter.drawText(QRectF(rect.left(), rect.top(), rect.width(), line * 1.5), Qt::AlignCenter,
                   QString::fromStdString(series.title));
  if (series.values.empty()) {
    painter.drawText(rect, Qt::AlignCenter, "No data");
    return {};
  }
  const auto [low, high] = std::minmax_element(series.values.begin(), series.values.end());
  double y0 = *low, y1 = *high;
  if (!(y1 > y0)) y0 -= 1, y1 += 1;
  const double x1 = std::max(1.0, double(series.values.size() - 1)) * series.xStep;
  const QRectF area(rect.left() + metrics.horizontalAdvance("-0000000") + 8,
                    rect.top() + line * 1.5, 0, 0);
  QRectF plot = area;
  plot.setRight(rect.right() - metrics.horizontalAdvance("0000"));
  plot.setBottom(rect.bottom() - line * 2.5);
  if (plot.width() < 10 || plot.height() < 10) return {};

  auto px = [&](double x) { return plot.left() + x / x1 * plot.width(); };
  auto py = [&](double y) { return plot.bottom() - (y - y0) / (y1 - y0) * plot.height(); };

  // Grid and tick labels.
  const QPen grid(QColor(220, 220, 220));
  const double ys = TickStep(y1 - y0, 5), xs = TickStep(x1, 8);
  for (double y = std::ceil(y0 / ys) * ys; y <= y1 + ys * 1e-9; y += ys) {
    painter.setPen(grid);
    painter.drawLine(QPointF(plot.left(), py(y)), QPointF(plot.right(), py(y)));
    painter.setPen(Qt::black);
    painter.drawText(QRectF(rect.left(), py(y) - line / 2, plot.left() - rect.left() - 4, line),
                     Qt::AlignRight | Qt::AlignVCenter, TickText(y, ys));
  }
  for (double x = 0; x <= x1 + xs * 1e-9; x += xs) {
    painter.setPen(grid);
    painter.drawLine(QPointF(px(x), plot.top()), QPointF(px(x), plot.bottom()));
    painter.setPen(Qt::black);
    painter.drawText(QRectF(px(x) - 40, plot.bottom() + 2, 80, line), Qt::AlignCenter,
                     TickText(x, xs));
  }
  painter.drawText(QRectF(plot.left(), plot.bottom() + line + 2, plot.width(), line),
                   Qt::AlignCenter, QString::fromStdString(series.xLabel));
  painter.setPen(Qt::black);
  painter.drawRect(plot);

  // The values, at most a few points a pixel column.
  QPainterPath path;
  const std::size_t n = series.values.size();
  const std::size_t stride = std::max<std::size_t>(1, n / std::size_t(4 * plot.width()));
  path.moveTo(px(0), py(series.values[0]));
  for (std::size_t i = stride; i < n; i += stride)
    path.lineTo(px(double(i) * series.xStep), py(series.values[i]));
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(20, 60, 180), 1.2));
  painter.drawPath(path);
  return plot;
}

TPlotView::TPlotView(QWidget* parent) : QWidget(parent) {
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, Qt::white);
  setPalette(p);
  setMinimumSize(320, 200);
}

void TPlotView::SetSeries(TPlotSeries series) {
  series_ = std::move(series);
  update();
}

void TPlotView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  PaintPlot(painter, QRectF(rect()).adjusted(6, 4, -6, -4), series_);
}

}  // namespace vivurozed
