// Feeds arbitrary bytes to the settings store as its file, for the program's
// key and the companion tracker's: every catalogue setting and the tracker's
// values must read without fault, and a value written must read back.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/RegistryVariables.h"
#include "app/ZevuvidInfo.h"
#include "platform/qt/SettingsStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vivurozed;
  static const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("settings-fuzz-" + std::to_string(getpid()));
  static const bool once = [] {
    std::filesystem::create_directories(folder);
    TSettingsStore::SetFolder(folder);
    return true;
  }();
  (void)once;
  auto store = std::make_shared<TSettingsStore>(SoftwareKeyPath(kProgramName));
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const auto& key :
       {store->FileName(), TSettingsStore(SoftwareKeyPath("Zevuvid")).FileName()}) {
    std::filesystem::create_directories(key.parent_path());
    std::ofstream(key, std::ios::binary | std::ios::trunc) << text;
  }
  TMainSettings settings(store);
  const TZevuvidInfo info = ReadZevuvidInfo();
  HomeLocation(info);
  // Whatever the file held, the store stays writable and exact.
  const std::string value = text.substr(0, 64);
  if (!store->WriteString("Fuzzed", value) || store->ReadString("Fuzzed") != value)
    __builtin_trap();
  return 0;
}
