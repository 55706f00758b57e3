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

#include "SilentMessages.h"
#include "app/RegistryVariables.h"
#include "app/ZevuvidInfo.h"
#include "platform/UserMessages.h"
#include "platform/qt/SettingsStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vivurozed;
  // In memory where there is such a folder: every write is synced.
  static const std::filesystem::path folder =
      (std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                 : std::filesystem::temp_directory_path()) /
      ("settings-fuzz-" + std::to_string(getpid()));
  static SilentMessages messages;
  static const bool once = [] {
    SetUserMessages(&messages);
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
  // Values are text: bytes that are not UTF-8 are not kept as they were.
  std::string value = text.substr(0, 64);
  for (char& c : value)
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  if (!store->WriteString("Fuzzed", value) || store->ReadString("Fuzzed") != value)
    __builtin_trap();
  return 0;
}
