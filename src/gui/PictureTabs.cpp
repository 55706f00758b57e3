#include "gui/PictureTabs.h"

#include <algorithm>

#include "app/PictureReadouts.h"
#include "gui/PictureView.h"

namespace vivurozed {

namespace {

const char* const kTabNames[] = {"Main Image", "Channel A", "Channel B", "False colour"};

QString Text(const std::string& s) {
  return QString::fromStdString(s);
}

}  // namespace

TPictureTabs::TPictureTabs(QLabel* position, QLabel* line, QLabel* value, QWidget* parent)
    : QTabWidget(parent), position_(position), line_(line), value_(value) {
  setObjectName("tabs");
  setDocumentMode(true);
  for (int tab = 0; tab < 4; ++tab) {
    auto* view = new TPictureView(this);
    view->setObjectName(kTabNames[tab]);
    addTab(view, kTabNames[tab]);
    views_.push_back(view);
    connect(view, &TPictureView::CursorMoved, this, [this, tab](QPoint p) { CursorMoved(tab, p); });
    connect(view, &TPictureView::CursorLeft, this, [this] {
      line_->clear();
      value_->clear();
      if (!measuring_) position_->clear();
    });
    connect(view, &TPictureView::Measuring, this,
            [this, tab](QPoint a, QPoint b) { Measuring(tab, a, b); });
    // A scroll area reports the point in its viewport's coordinates.
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this, [this, tab](QPoint at) {
      TPictureView* v = views_[std::size_t(tab)];
      QPoint p;
      if (!v->PicturePoint(at, p)) return;
      p.ry() -= Top(tab);
      if (Plain(tab).valid(p)) emit PictureMenuRequested(tab, p, v->viewport()->mapToGlobal(at));
    });
    connect(view, &TPictureView::MeasureEnded, this, [this] {
      measuring_ = false;
      position_->clear();
    });
  }
  views_[0]->SetPlaceholder(
      "Open a recording or a saved picture (Ctrl+O), or drop one here.\n\n"
      "Ctrl+wheel, + and - zoom; F fits the picture, 1 shows it pixel for pixel.");
  for (int i = 1; i < count(); ++i) setTabVisible(i, false);
  connect(this, &QTabWidget::currentChanged, this, &TPictureTabs::ClearReadouts);
}

void TPictureTabs::Show(const TShownPictures& pictures) {
  shown_ = pictures;
  Apply();
  for (int i = 1; i < count(); ++i) setTabVisible(i, HasPicture(i));
  if (!isTabVisible(currentIndex())) setCurrentIndex(0);
}

void TPictureTabs::Clear() {
  ClearReadouts();
  shown_ = {};
  for (TPictureView* v : views_) v->SetPicture({});
  for (int i = 1; i < count(); ++i) setTabVisible(i, false);
}

void TPictureTabs::SetShowOverlay(bool show) {
  showOverlay_ = show;
  Apply();
}

void TPictureTabs::Apply() {
  const QImage* overlays[] = {&shown_.mainOverlay, nullptr, &shown_.channelBOverlay,
                              &shown_.falseColourOverlay};
  for (int i = 0; i < 4; ++i) {
    const QImage* overlay = overlays[i];
    const bool withOverlay = showOverlay_ && overlay && !overlay->isNull();
    views_[std::size_t(i)]->SetPicture(withOverlay ? *overlay : Plain(i));
  }
}

bool TPictureTabs::HasOverlay() const {
  return !shown_.mainOverlay.isNull() || !shown_.channelBOverlay.isNull() ||
         !shown_.falseColourOverlay.isNull();
}

TPictureView* TPictureTabs::CurrentView() const {
  return qobject_cast<TPictureView*>(currentWidget());
}

bool TPictureTabs::CurrentTurned() const {
  const int tab = currentIndex();
  return shown_.readouts && tab >= 0 && tab < 4 &&
         shown_.readouts->placements[std::size_t(tab)].turned;
}

const QImage& TPictureTabs::Plain(int tab) const {
  const QImage* plain[] = {&shown_.main, &shown_.channelA, &shown_.channelB, &shown_.falseColour};
  return *plain[std::clamp(tab, 0, 3)];
}

int TPictureTabs::Top(int tab) const {
  // Only the overlay version has a band, and only it is taller.
  if (!shown_.readouts) return 0;
  const bool overlaid = views_[std::size_t(tab)]->Picture().height() != Plain(tab).height();
  return overlaid ? shown_.readouts->placements[std::size_t(tab)].top : 0;
}

void TPictureTabs::ClearReadouts() {
  position_->clear();
  line_->clear();
  value_->clear();
}

void TPictureTabs::CursorMoved(int tab, QPoint at) {
  if (!readoutsOn_) return;
  // The readouts are of the picture itself, below any caption band.
  const QImage& picture = Plain(tab);
  const QPoint p(at.x(), at.y() - Top(tab));
  if (!picture.valid(p)) {
    ClearReadouts();
    return;
  }
  QString value;
  if (picture.format() == QImage::Format_Indexed8) {
    value = QString::number(picture.pixelIndex(p));
  } else {
    const QRgb c = picture.pixel(p);
    value = QString("%1,%2,%3").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c));
  }
  line_->setText(QString("Line %1  Pixel %2: %3").arg(p.y()).arg(p.x()).arg(value));
  const TReadoutData* data = shown_.readouts.get();
  value_->setText(
      data ? Text(ValueReadout(*data, picture.width(), picture.height(), p.x(), p.y(), metric_))
           : QString());
  if (measuring_) return;
  position_->setText(data && data->maker
                         ? Text(PositionText(*data->maker, data->placements[std::size_t(tab)],
                                             picture.width(), picture.height(), p.x(), p.y()))
                         : QString());
}

void TPictureTabs::Measuring(int tab, QPoint start, QPoint end) {
  if (!readoutsOn_) return;
  measuring_ = true;
  const QPoint d = end - start;
  position_->setText(
      Text(DistanceText(d.x(), d.y(), views_[std::size_t(tab)]->Picture().width(), metric_)));
}

}  // namespace vivurozed
