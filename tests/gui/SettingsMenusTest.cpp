#include "gui/SettingsMenus.h"

#include <gtest/gtest.h>

#include <QMenu>

#include "WavWriter.h"

namespace vivurozed {
namespace {

using testing::TempDir;

// Menu entries store what they show, and report a change by its meaning.
TEST(SettingsMenus, EntriesStoreTheSettingAndReportWhatTheChangeMeans) {
  TempDir dir;
  TSettingsStore::SetFolder(dir.Path());
  auto store = std::make_shared<TSettingsStore>(SoftwareKeyPath("MenuTest"));
  TRegistryBoolean tape(store, "TapeInput", false);
  TRegistryInteger sharpen(store, "Sharpen", 1), filter(store, "InputFilter", 0);
  std::vector<std::pair<TSettingsMenus::TEffect, std::string>> reported;
  TSettingsMenus menus(
      [&](TSettingsMenus::TEffect e, const std::string& name) { reported.emplace_back(e, name); });
  QMenu menu;
  QAction* tapeEntry = menus.Check(&menu, "Tape", tape, TSettingsMenus::efReload, "tape source");
  QActionGroup* sharpenGroup =
      menus.Radio(&menu, sharpen, {{"None", 0}, {"Sharpen", 1}, {"More", 2}},
                  TSettingsMenus::efDisplayWhenChanged);
  QActionGroup* filterGroup = menus.Radio(&menu, filter, {{"Narrow", 1}, {"Normal", 0}},
                                          TSettingsMenus::efReload, "input filter");
  EXPECT_FALSE(tapeEntry->isChecked());
  EXPECT_TRUE(sharpenGroup->actions()[1]->isChecked());

  using E = TSettingsMenus::TEffect;
  const struct {
    QAction* entry;
    std::vector<std::pair<E, std::string>> expected;
  } steps[] = {
      {tapeEntry, {{TSettingsMenus::efReload, "tape source"}}},
      {sharpenGroup->actions()[1], {}},  // the value it had: nothing to do
      {sharpenGroup->actions()[2], {{TSettingsMenus::efDisplayWhenChanged, ""}}},
      {filterGroup->actions()[0], {{TSettingsMenus::efReload, "input filter"}}},
  };
  for (const auto& step : steps) {
    reported.clear();
    step.entry->trigger();
    EXPECT_EQ(reported, step.expected) << step.entry->text().toStdString();
    EXPECT_TRUE(step.entry->isChecked()) << step.entry->text().toStdString();
  }
  EXPECT_TRUE(tape.Value());
  EXPECT_EQ(sharpen.Value(), 2);
  EXPECT_EQ(filter.Value(), 1);
  EXPECT_EQ(store->ReadInteger("Sharpen"), 2);  // stored at once

  // Changed elsewhere: the marks follow; a value no entry has checks none.
  tape.SetValue(false);
  filter.SetValue(7);
  menus.Refresh();
  EXPECT_FALSE(tapeEntry->isChecked());
  for (QAction* a : filterGroup->actions()) EXPECT_FALSE(a->isChecked());

  // While a run goes on, only what needs the recording read again waits.
  menus.SetRunning(true);
  EXPECT_FALSE(tapeEntry->isEnabled());
  EXPECT_FALSE(filterGroup->actions()[0]->isEnabled());
  EXPECT_TRUE(sharpenGroup->actions()[0]->isEnabled());
}

}  // namespace
}  // namespace vivurozed
