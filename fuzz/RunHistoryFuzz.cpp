// Feeds arbitrary bytes to the run history reader as its file: every entry
// it keeps must be found again by its own name, and a new record must be
// found as written.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/RunHistory.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using vivurozed::TRunHistory;
  static const std::filesystem::path file =
      (std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                 : std::filesystem::temp_directory_path()) /
      ("history-fuzz-" + std::to_string(getpid()) + ".ini");
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  TRunHistory history;
  history.Load(file);
  if (history.Entries().size() > TRunHistory::kMaxEntries) __builtin_trap();
  TRunHistory::TEntry entry;
  for (const auto& e : history.Entries()) {
    const std::size_t blank = e.find(' ');
    if (blank != std::string::npos && !history.Find(e.substr(0, blank), entry)) __builtin_trap();
  }
  history.Record("08251827 NOAA15.wav", true, "NOAA-15");
  if (!history.Find("08251827 NOAA15.wav", entry) || !entry.southBound || !entry.noaa)
    __builtin_trap();
  return 0;
}
