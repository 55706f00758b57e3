// The overlay's appearance dialog: every change is drawn on the sample at
// once, and OK hands back what was chosen.
#include "gui/OverlayOptionsDialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

namespace vivurozed {
namespace {

TOverlayAppearance Stored() {
  TOverlayAppearance a;
  a.gridColour = StoredColour(255, 0, 0);
  a.boundaryColour = StoredColour(255, 255, 0);
  a.graphicColour = StoredColour(0, 255, 255);
  a.fontColour = StoredColour(0, 255, 255);
  a.land = StoredColour(1, 2, 3);
  return a;
}

TEST(OverlayOptionsDialog, EveryChangeIsDrawnOnTheSample) {
  TOverlayOptionsDialog dialog(Stored(), {}, {"NOAA-15  2019 Aug 25"}, 0, std::nullopt);
  EXPECT_EQ(dialog.Appearance(), Stored());
  EXPECT_FALSE(dialog.Caption());
  QImage last = dialog.Sample();
  ASSERT_FALSE(last.isNull());
  const std::function<void()> changes[] = {
      [&] { dialog.findChild<QCheckBox*>("grid")->setChecked(false); },
      [&] { dialog.findChild<QCheckBox*>("soft")->setChecked(true); },
      [&] { dialog.findChild<QRadioButton*>("location1")->click(); },
      [&] { dialog.findChild<QCheckBox*>("separateBand")->setChecked(true); },
      [&] { dialog.findChild<QPlainTextEdit*>("caption")->setPlainText("Over Edinburgh\n"); },
  };
  for (std::size_t i = 0; i < std::size(changes); ++i) {
    changes[i]();
    EXPECT_NE(dialog.Sample(), last) << i;
    last = dialog.Sample();
  }
  const TOverlayAppearance a = dialog.Appearance();
  EXPECT_FALSE(a.grid);
  EXPECT_TRUE(a.soft);
  EXPECT_EQ(a.textLocation, 1);
  EXPECT_TRUE(a.separateBand);
  EXPECT_EQ(dialog.Caption(), std::vector<std::string>{"Over Edinburgh"});
  // An emptied caption gives the pass's own back.
  dialog.findChild<QPlainTextEdit*>("caption")->clear();
  EXPECT_EQ(dialog.Caption(), std::vector<std::string>{});

  dialog.findChild<QPushButton*>("resetColours")->click();
  EXPECT_EQ(dialog.Appearance().land, StoredColour(140, 140, 140));
  EXPECT_EQ(dialog.Appearance().rebasedSea, StoredColour(0, 184, 184));
}

}  // namespace
}  // namespace vivurozed
