#include "gui/PictureView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QWheelEvent>

namespace vivurozed {
namespace {

TEST(PictureView, FitsZoomsAndFindsThePixelUnderTheCursorAndTheWheelZoomsAboutIt) {
  TPictureView view;
  view.resize(400, 300);
  view.show();
  view.SetPicture(QImage(200, 100, QImage::Format_RGB32));
  // Fitted: twice the size, centred top to bottom.
  EXPECT_TRUE(view.Fitting());
  EXPECT_DOUBLE_EQ(view.Zoom(), 2.0);
  QPoint p;
  ASSERT_TRUE(view.PicturePoint(QPoint(200, 150), p));
  EXPECT_EQ(p, QPoint(100, 50));
  EXPECT_FALSE(view.PicturePoint(QPoint(200, 49), p));

  view.ZoomActual();
  EXPECT_FALSE(view.Fitting());
  ASSERT_TRUE(view.PicturePoint(QPoint(100, 100), p));
  EXPECT_EQ(p, QPoint(0, 0));
  EXPECT_FALSE(view.PicturePoint(QPoint(99, 100), p));
  view.ZoomIn();
  EXPECT_DOUBLE_EQ(view.Zoom(), 1.25);
  view.ZoomOut();
  EXPECT_DOUBLE_EQ(view.Zoom(), 1.0);
  for (int i = 0; i < 30; ++i) view.ZoomOut();
  EXPECT_DOUBLE_EQ(view.Zoom(), TPictureView::kMinZoom);
  view.ZoomToFit();
  EXPECT_DOUBLE_EQ(view.Zoom(), 2.0);

  // Ctrl and the wheel zoom about the cursor; the wheel alone scrolls.
  view.SetPicture(QImage(2000, 1000, QImage::Format_RGB32));
  view.ZoomActual();
  const QPoint cursor(50, 60);
  QPoint before, after;
  ASSERT_TRUE(view.PicturePoint(cursor, before));
  QWheelEvent zoom(cursor, view.viewport()->mapToGlobal(cursor), {}, QPoint(0, 120), Qt::NoButton,
                   Qt::ControlModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(view.viewport(), &zoom);
  EXPECT_DOUBLE_EQ(view.Zoom(), 1.25);
  ASSERT_TRUE(view.PicturePoint(cursor, after));
  EXPECT_LE((after - before).manhattanLength(), 1);

  QWheelEvent scroll(cursor, view.viewport()->mapToGlobal(cursor), {}, QPoint(0, -120),
                     Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(view.viewport(), &scroll);
  EXPECT_DOUBLE_EQ(view.Zoom(), 1.25);
  ASSERT_TRUE(view.PicturePoint(cursor, after));
  EXPECT_GT(after.y(), before.y());
}

}  // namespace
}  // namespace vivurozed
