// Plots of a run's signal measurements for the diagnostics view: each
// series drawn as a line over labelled axes.
#pragma once

#include <QRectF>
#include <QWidget>

#include "app/PictureEdits.h"

class QPainter;

namespace vivurozed {

// Draws the series into the rectangle: title, axes with ticks and labels,
// and the values as a line. Returns the area inside the axes ("No data"
// and an empty area for an empty series).
QRectF PaintPlot(QPainter& painter, const QRectF& rect, const TPlotSeries& series);

class TPlotView : public QWidget {
  Q_OBJECT

 public:
  explicit TPlotView(QWidget* parent = nullptr);
  void SetSeries(TPlotSeries series);
  const TPlotSeries& Series() const { return series_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TPlotSeries series_;
};

}  // namespace vivurozed
