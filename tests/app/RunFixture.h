// Whole runs in a test: settings, run history and colour lookups all live in
// a temporary folder, and messages are recorded instead of shown.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "RecordingMessages.h"
#include "WavWriter.h"
#include "app/MainForm.h"
#include "platform/Folders.h"

namespace vivurozed::testing {

class RunFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    TSettingsStore::SetFolder(dir.Path() / "settings");
    SetUserDataFolder(dir.Path() / "data");
    store = std::make_shared<TSettingsStore>(SoftwareKeyPath(kProgramName));
  }
  void TearDown() override { SetUserDataFolder({}); }

  static bool Logged(TProcessingRun& run, const std::string& part) {
    const auto& lines = run.Log().Lines();
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(part) != std::string::npos; });
  }

  TempDir dir;
  std::shared_ptr<TSettingsStore> store;
  RecordingMessages messages;
};

}  // namespace vivurozed::testing
