// The pass put to the user: it confirms itself when left alone, and waits
// once the user changes anything.
#include "gui/ConfirmPassDialog.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QTimeEdit>

#include <functional>

namespace vivurozed {
namespace {

TPassPrediction Predicted() {
  TPassPrediction p;
  p.satellite = "NOAA-15";
  p.start = EncodeDateTime(2019, 8, 25, 18, 28, 0, 0);
  p.end = p.start + 15.0 / 1440;
  return p;
}

TEST(ConfirmPassDialog, CountsDownAndConfirmsThePredictionWhenLeftAlone) {
  TConfirmPassDialog dialog(Predicted());
  dialog.show();
  auto* countdown = dialog.findChild<QLabel*>("countdown");
  for (int left = 15; left >= 0; --left) {
    ASSERT_EQ(countdown->text(), QString("This dialog will time out in %1 seconds.").arg(left));
    ASSERT_TRUE(dialog.isVisible());
    dialog.Tick();  // below 0: as if OK were pressed
  }
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_FALSE(dialog.CountingDown());
  EXPECT_EQ(dialog.Pass().satellite, "NOAA-15");
  EXPECT_EQ(dialog.Pass().start, Predicted().start);
  EXPECT_FALSE(dialog.Pass().southBound);
}

TEST(ConfirmPassDialog, AnyChangeStopsTheCountdownAndIsTaken) {
  using Change = std::function<void(TConfirmPassDialog&)>;
  const std::pair<const char*, Change> changes[] = {
      {"satellite",
       [](TConfirmPassDialog& d) {
         d.findChild<QComboBox*>("satellite")->setCurrentText("NOAA-18");
       }},
      {"time",
       [](TConfirmPassDialog& d) { d.findChild<QTimeEdit*>("time")->setTime(QTime(18, 29, 30)); }},
      {"direction",
       [](TConfirmPassDialog& d) { d.findChild<QRadioButton*>("south")->setChecked(true); }},
  };
  for (const auto& [name, change] : changes) {
    TConfirmPassDialog dialog(Predicted());
    dialog.show();
    dialog.Tick();
    change(dialog);
    EXPECT_FALSE(dialog.CountingDown()) << name;
    EXPECT_TRUE(dialog.findChild<QLabel*>("countdown")->isHidden()) << name;
    const TPassPrediction p = dialog.Pass();
    const std::string changed = name;
    EXPECT_EQ(p.satellite, changed == "satellite" ? "NOAA-18" : "NOAA-15") << name;
    EXPECT_NEAR(p.start, changed == "time" ? Predicted().start + 90.0 / 86400 : Predicted().start,
                1e-9)
        << name;
    EXPECT_EQ(p.southBound, changed == "direction") << name;
  }
}

}  // namespace
}  // namespace vivurozed
