// One picture on a tab: fitted to the window or zoomed (wheel with Ctrl,
// keys, the View menu), scrolled, with the pixel under the cursor reported
// and a measuring line drawn while the left button is held.
#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QPoint>
#include <QString>

namespace vivurozed {

class TPictureView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  static constexpr double kMinZoom = 1.0 / 16, kMaxZoom = 16, kZoomStep = 1.25;

  explicit TPictureView(QWidget* parent = nullptr);

  // Keeps the zoom, or the fit when fitting.
  void SetPicture(const QImage& picture);
  const QImage& Picture() const { return picture_; }
  // Shown while there is no picture.
  void SetPlaceholder(const QString& text);

  void ZoomIn();
  void ZoomOut();
  void ZoomToFit();
  void ZoomActual();
  double Zoom() const { return zoom_; }
  bool Fitting() const { return fit_; }

  // The picture pixel under a point of the viewport; false outside it.
  bool PicturePoint(QPoint viewportPoint, QPoint& picturePoint) const;
  // The viewport point at the centre of a picture pixel.
  QPoint ViewportPoint(QPoint picturePoint) const;

 signals:
  void CursorMoved(QPoint picturePoint);
  void CursorLeft();
  // While the left button is held: from the press point to the cursor.
  void Measuring(QPoint start, QPoint end);
  void MeasureEnded();
  void ZoomChanged(double zoom);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  // Keeps the picture point under the anchor (a viewport point) in place.
  void SetZoom(double zoom, QPointF anchor);
  double FitZoom() const;
  void UpdateScrollBars();
  // Where the picture's top-left corner lies in the viewport.
  QPointF Origin() const;
  QPoint ClampToPicture(QPoint p) const;

  QString placeholder_;
  QImage picture_;
  QImage display_;  // the picture as 32-bit colour, for fast drawing
  QImage scaled_;   // display_ at zoom_, made when zoomed out
  double zoom_ = 1;
  bool fit_ = true;
  bool measuring_ = false;
  QPoint measureStart_, measureEnd_;
};

}  // namespace vivurozed
