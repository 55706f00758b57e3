#include "gui/RecentFiles.h"

#include <algorithm>
#include <map>

namespace vivurozed {

std::vector<TRecentFile> RecentFiles(const std::vector<std::string>& history,
                                     const std::vector<std::filesystem::path>& folders, int count) {
  // Each folder is listed once, not once per entry.
  std::map<std::string, std::filesystem::path> files;
  std::error_code ec;
  for (const auto& folder : folders) {
    if (folder.empty()) continue;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
      if (!e.is_regular_file(ec)) continue;
      std::string name = e.path().filename().string();
      std::replace(name.begin(), name.end(), ' ', '_');
      files.emplace(name, e.path());
    }
  }
  std::vector<TRecentFile> recent;
  for (auto it = history.rbegin(); it != history.rend(); ++it) {
    if (static_cast<int>(recent.size()) >= count) break;
    const std::size_t blank = it->find(' ');
    const auto found = files.find(it->substr(0, blank));
    if (found == files.end()) continue;
    if (std::any_of(recent.begin(), recent.end(),
                    [&](const TRecentFile& r) { return r.file == found->second; })) {
      continue;
    }
    std::string detail = blank == std::string::npos ? std::string() : it->substr(blank + 1);
    if (detail.rfind("N ", 0) == 0) detail.replace(0, 2, "north-bound, ");
    if (detail.rfind("S ", 0) == 0) detail.replace(0, 2, "south-bound, ");
    recent.push_back({found->second, detail});
  }
  return recent;
}

}  // namespace vivurozed
