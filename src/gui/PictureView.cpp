#include "gui/PictureView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace vivurozed {

TPictureView::TPictureView(QWidget* parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setMouseTracking(true);
  viewport()->setCursor(Qt::CrossCursor);
  setFrameShape(QFrame::NoFrame);
  QPalette p = viewport()->palette();
  p.setColor(QPalette::Window, QColor(64, 64, 64));
  viewport()->setPalette(p);
  viewport()->setBackgroundRole(QPalette::Window);
  viewport()->setAutoFillBackground(true);
}

void TPictureView::SetPicture(const QImage& picture) {
  picture_ = picture;
  display_ = picture.isNull() ? QImage() : picture.convertToFormat(QImage::Format_RGB32);
  scaled_ = QImage();
  measuring_ = false;
  if (fit_) {
    zoom_ = FitZoom();
  }
  UpdateScrollBars();
  viewport()->update();
}

void TPictureView::SetPlaceholder(const QString& text) {
  placeholder_ = text;
  viewport()->update();
}

double TPictureView::FitZoom() const {
  if (picture_.isNull()) return 1;
  const QSize area = viewport()->size();
  const double z =
      std::min(double(area.width()) / picture_.width(), double(area.height()) / picture_.height());
  return std::clamp(z, kMinZoom, kMaxZoom);
}

void TPictureView::ZoomIn() {
  SetZoom(zoom_ * kZoomStep, QRectF(viewport()->rect()).center());
}

void TPictureView::ZoomOut() {
  SetZoom(zoom_ / kZoomStep, QRectF(viewport()->rect()).center());
}

void TPictureView::ZoomToFit() {
  fit_ = true;
  zoom_ = FitZoom();
  scaled_ = QImage();
  UpdateScrollBars();
  viewport()->update();
  emit ZoomChanged(zoom_);
}

void TPictureView::ZoomActual() {
  SetZoom(1, QRectF(viewport()->rect()).center());
}

void TPictureView::SetZoom(double zoom, QPointF anchor) {
  zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
  // Near 1:1 the picture snaps to it, so stepping in and out comes back
  // to sharp pixels.
  if (std::abs(zoom - 1) < 0.02) zoom = 1;
  const QPointF pictureAnchor = (anchor - Origin()) / zoom_;
  fit_ = false;
  zoom_ = zoom;
  scaled_ = QImage();
  UpdateScrollBars();
  // Scroll so the picture point under the anchor stays under it.
  const QPointF target = pictureAnchor * zoom_ - anchor;
  horizontalScrollBar()->setValue(int(std::lround(target.x())));
  verticalScrollBar()->setValue(int(std::lround(target.y())));
  viewport()->update();
  emit ZoomChanged(zoom_);
}

void TPictureView::UpdateScrollBars() {
  const QSize area = viewport()->size();
  const int w = picture_.isNull() ? 0 : int(std::ceil(picture_.width() * zoom_));
  const int h = picture_.isNull() ? 0 : int(std::ceil(picture_.height() * zoom_));
  horizontalScrollBar()->setRange(0, std::max(0, w - area.width()));
  horizontalScrollBar()->setPageStep(area.width());
  horizontalScrollBar()->setSingleStep(std::max(1, area.width() / 20));
  verticalScrollBar()->setRange(0, std::max(0, h - area.height()));
  verticalScrollBar()->setPageStep(area.height());
  verticalScrollBar()->setSingleStep(std::max(1, area.height() / 20));
}

QPointF TPictureView::Origin() const {
  if (picture_.isNull()) return {};
  const QSize area = viewport()->size();
  const double w = picture_.width() * zoom_, h = picture_.height() * zoom_;
  // A picture smaller than the view is centred; a larger one scrolls.
  const double x = w < area.width() ? (area.width() - w) / 2 : -horizontalScrollBar()->value();
  const double y = h < area.height() ? (area.height() - h) / 2 : -verticalScrollBar()->value();
  return {std::floor(x), std::floor(y)};
}

bool TPictureView::PicturePoint(QPoint viewportPoint, QPoint& picturePoint) const {
  if (picture_.isNull()) return false;
  const QPointF p = (QPointF(viewportPoint) - Origin()) / zoom_;
  picturePoint = QPoint(int(std::floor(p.x())), int(std::floor(p.y())));
  return picture_.rect().contains(picturePoint);
}

QPoint TPictureView::ViewportPoint(QPoint picturePoint) const {
  const QPointF p = Origin() + (QPointF(picturePoint) + QPointF(0.5, 0.5)) * zoom_;
  return QPoint(int(std::floor(p.x())), int(std::floor(p.y())));
}

QPoint TPictureView::ClampToPicture(QPoint p) const {
  return {std::clamp(p.x(), 0, std::max(0, picture_.width() - 1)),
          std::clamp(p.y(), 0, std::max(0, picture_.height() - 1))};
}

void TPictureView::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  if (display_.isNull()) {
    painter.setPen(QColor(176, 176, 176));
    painter.drawText(viewport()->rect(), Qt::AlignCenter, placeholder_);
    return;
  }
  const QPointF origin = Origin();
  if (zoom_ < 1) {
    // Zoomed out, the whole picture is scaled smoothly once per zoom.
    if (scaled_.isNull()) {
      scaled_ = display_.scaled(QSize(int(std::lround(display_.width() * zoom_)),
                                      int(std::lround(display_.height() * zoom_))),
                                Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    painter.drawImage(origin, scaled_);
  } else {
    // Zoomed in, only the part in view is drawn, as sharp pixels.
    const QRectF exposed = QRectF(event->rect())
                               .intersected(QRectF(origin, QSizeF(display_.width() * zoom_,
                                                                  display_.height() * zoom_)));
    if (!exposed.isEmpty()) {
      const QRectF source((exposed.topLeft() - origin) / zoom_, exposed.size() / zoom_);
      const QRectF whole(std::floor(source.left()), std::floor(source.top()),
                         std::ceil(source.right()) - std::floor(source.left()),
                         std::ceil(source.bottom()) - std::floor(source.top()));
      const QRectF target(origin + whole.topLeft() * zoom_, whole.size() * zoom_);
      painter.drawImage(target, display_, whole);
    }
  }
  if (measuring_ && measureStart_ != measureEnd_) {
    // Exclusive-or in white: visible on any picture, and drawing it again
    // would remove it.
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.setPen(QPen(Qt::white, 1));
    const QPointF half(0.5, 0.5);
    painter.drawLine(origin + (QPointF(measureStart_) + half) * zoom_,
                     origin + (QPointF(measureEnd_) + half) * zoom_);
  }
}

void TPictureView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  if (fit_) {
    const double z = FitZoom();
    if (z != zoom_) scaled_ = QImage();
    zoom_ = z;
  }
  UpdateScrollBars();
}

void TPictureView::wheelEvent(QWheelEvent* event) {
  if (!(event->modifiers() & Qt::ControlModifier)) {
    QAbstractScrollArea::wheelEvent(event);
    return;
  }
  const int steps = event->angleDelta().y() / 120;
  if (steps != 0) SetZoom(zoom_ * std::pow(kZoomStep, steps), event->position());
  event->accept();
}

void TPictureView::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      ZoomIn();
      return;
    case Qt::Key_Minus:
      ZoomOut();
      return;
    case Qt::Key_F:
      ZoomToFit();
      return;
    case Qt::Key_1:
      ZoomActual();
      return;
    default:
      QAbstractScrollArea::keyPressEvent(event);
  }
}

void TPictureView::mousePressEvent(QMouseEvent* event) {
  QPoint p;
  if (event->button() == Qt::LeftButton && PicturePoint(event->position().toPoint(), p)) {
    measuring_ = true;
    measureStart_ = measureEnd_ = p;
    emit Measuring(measureStart_, measureEnd_);
  }
  QAbstractScrollArea::mousePressEvent(event);
}

void TPictureView::mouseMoveEvent(QMouseEvent* event) {
  QPoint p;
  const bool inside = PicturePoint(event->position().toPoint(), p);
  if (measuring_) {
    measureEnd_ = ClampToPicture(p);
    viewport()->update();
    emit Measuring(measureStart_, measureEnd_);
  }
  if (inside) {
    emit CursorMoved(p);
  } else {
    emit CursorLeft();
  }
}

void TPictureView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && measuring_) {
    measuring_ = false;
    viewport()->update();
    emit MeasureEnded();
  }
  QAbstractScrollArea::mouseReleaseEvent(event);
}

void TPictureView::leaveEvent(QEvent* event) {
  if (!measuring_) emit CursorLeft();
  QAbstractScrollArea::leaveEvent(event);
}

}  // namespace vivurozed
