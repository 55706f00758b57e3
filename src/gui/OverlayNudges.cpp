#include "gui/OverlayNudges.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

namespace vivurozed {

TOverlayNudges::TOverlayNudges(QWidget* parent) : QWidget(parent) {
  setObjectName("overlayNudges");
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(1);
  layout->addWidget(new QLabel(" Overlay ", this));
  auto add = [this, layout](const char* name, Qt::ArrowType arrow, const QString& text,
                            const QString& tip, auto pressed) {
    auto* b = new QToolButton(this);
    b->setObjectName(name);
    if (arrow != Qt::NoArrow) b->setArrowType(arrow);
    if (!text.isEmpty()) {
      b->setText(text);
      b->setToolButtonStyle(arrow == Qt::NoArrow ? Qt::ToolButtonTextOnly
                                                 : Qt::ToolButtonTextBesideIcon);
    }
    b->setToolTip(tip);
    b->setAutoRaise(true);
    connect(b, &QToolButton::clicked, this, pressed);
    layout->addWidget(b);
  };
  add("overlayUp", Qt::UpArrow, {}, "Move the overlay up one line", [this] { emit Nudged(-1, 0); });
  add("overlayDown", Qt::DownArrow, {}, "Move the overlay down one line",
      [this] { emit Nudged(1, 0); });
  add("overlayLeft", Qt::LeftArrow, {}, "Move the overlay left one pixel",
      [this] { emit Nudged(0, -1); });
  add("overlayRight", Qt::RightArrow, {}, "Move the overlay right one pixel",
      [this] { emit Nudged(0, 1); });
  add("overlayMinuteUp", Qt::UpArrow, "min", "Move the overlay up a minute of lines",
      [this] { emit Nudged(-kMinuteLines, 0); });
  add("overlayMinuteDown", Qt::DownArrow, "min", "Move the overlay down a minute of lines",
      [this] { emit Nudged(kMinuteLines, 0); });
  add("overlayReset", Qt::NoArrow, "Reset", "Put the overlay back where the pass puts it",
      [this] { emit ResetPressed(); });
}

}  // namespace vivurozed
