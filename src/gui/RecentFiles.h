// Recent files from the run history, which keeps a file's name (its blanks
// as "_"), its pass direction and its satellite, but not its folder.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vivurozed {

struct TRecentFile {
  std::filesystem::path file;
  std::string detail;  // "north-bound, NOAA15"
};

// The newest entries (last in the history) whose file is found in one of
// the folders, the first folder that holds it winning; at most count.
std::vector<TRecentFile> RecentFiles(const std::vector<std::string>& history,
                                     const std::vector<std::filesystem::path>& folders, int count);

}  // namespace vivurozed
