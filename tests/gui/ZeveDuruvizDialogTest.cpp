// The caption lines as the ZeveDuruviz options compose them, and what OK
// stores.
#include "gui/ZeveDuruvizDialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>

#include "WavWriter.h"
#include "map/OverlayMaker.h"

namespace vivurozed {
namespace {

using testing::TempDir;

// Checks exactly the named items of a list.
void Choose(QListWidget* list, const QStringList& items) {
  for (int i = 0; i < list->count(); ++i)
    list->item(i)->setCheckState(items.contains(list->item(i)->text()) ? Qt::Checked
                                                                       : Qt::Unchecked);
}

TEST(ZeveDuruvizDialog, ThePreviewComposesTheCaptionAndOkStoresWhatWasChosen) {
  TempDir dir;
  TSettingsStore::SetFolder(dir.Path() / "settings");
  TMainSettings settings(std::make_shared<TSettingsStore>(SoftwareKeyPath(kProgramName)));
  TZevuvidInfo zevuvid;
  zevuvid.location = "Edinburgh";
  TZeveDuruvizDialog dialog(settings, zevuvid);
  dialog.SetPreviewTime(EncodeDateTime(2019, 8, 25, 18, 28, 0, 0));
  // The stored defaults: name, date, "at", pass time and UTC; direction and
  // elevation; the user text.
  EXPECT_EQ(dialog.Preview(), QStringList({"NOAA 15  2019 Aug 25  at  18:28-18:43  UTC",
                                           "North  50\u00ba", "Your information"}));

  Choose(dialog.findChild<QListWidget*>("textLine1"),
         {"Name", "Pass time", "UTC/local", "Location"});
  dialog.findChild<QSpinBox*>("fieldSpacing")->setValue(4);
  dialog.findChild<QCheckBox*>("midPassTime")->setChecked(true);
  dialog.findChild<QLineEdit*>("userText")->setText("Roof antenna");
  Choose(dialog.findChild<QListWidget*>("textLine2"), {"Elevation", "User text"});
  EXPECT_EQ(dialog.Preview(), QStringList({"NOAA 15    18:35  UTC    Edinburgh",
                                           "50\u00ba    Roof antenna", "Roof antenna"}));
  EXPECT_EQ(dialog.findChild<QLabel*>("preview1")->text(), "NOAA 15    18:35  UTC    Edinburgh");
  EXPECT_FALSE(dialog.Store());  // the caption alone needs no new prediction
  EXPECT_EQ(settings.OvlTextLine1.Value(), tfName | tfPassTime | tfUtc | tfLocation | tfMidPass);
  EXPECT_EQ(settings.OvlTextLine2.Value(), tfElevation | tfUserText);
  EXPECT_EQ(settings.OverlayFieldSpacing.Value(), 4);
  EXPECT_EQ(settings.OverlayUserText.Value(), "Roof antenna");

  dialog.findChild<QLineEdit*>("fullKeps")->setText("/data/orbits/KEPS/");
  Choose(dialog.findChild<QListWidget*>("activeSatellites"), {"NOAA-19", "NOAA-15"});
  dialog.findChild<QCheckBox*>("confirmPass")->setChecked(true);
  dialog.findChild<QCheckBox*>("enableZeveDuruviz")->setChecked(true);
  EXPECT_TRUE(dialog.Store());
  EXPECT_EQ(settings.KepsFullPath.Value(), "/data/orbits");
  EXPECT_EQ(settings.ActiveSats.Value(), "NOAA-15,NOAA-19");
  EXPECT_TRUE(settings.ConfirmPass.Value());
  EXPECT_TRUE(settings.ZeveDuruviz.Value());
  EXPECT_EQ(WithoutKepsFolder("C:\\Zevuvid\\Keps\\"), "C:\\Zevuvid");
  EXPECT_EQ(WithoutKepsFolder("/data/keps"), "/data/keps");
}

}  // namespace
}  // namespace vivurozed
