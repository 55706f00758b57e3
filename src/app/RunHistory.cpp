#include "app/RunHistory.h"

#include <algorithm>
#include <fstream>

#include "app/CommandLine.h"
#include "platform/FileReplace.h"

namespace vivurozed {

std::string TRunHistory::Key(const std::string& fileName) {
  std::string key = fileName;
  std::replace(key.begin(), key.end(), ' ', '_');
  return key;
}

void TRunHistory::Load(const std::filesystem::path& file) {
  entries_.clear();
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) entries_.push_back(line);
  }
  if (entries_.size() > kMaxEntries) {
    entries_.erase(entries_.begin(),
                   entries_.begin() + static_cast<std::ptrdiff_t>(entries_.size() - kMaxEntries));
  }
}

bool TRunHistory::Save(const std::filesystem::path& file) const {
  std::string text;
  for (const auto& e : entries_) text += e + "\n";
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  return ReplaceFileContents(
      file, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void TRunHistory::Record(const std::string& fileName, bool southBound,
                         const std::string& satellite) {
  const std::string key = Key(fileName);
  std::erase_if(entries_, [&](const std::string& e) {
    return e.compare(0, e.find(' '), key) == 0 && e.find(' ') == key.size();
  });
  entries_.push_back(key + (southBound ? " S " : " N ") + satellite);
  if (entries_.size() > kMaxEntries) entries_.erase(entries_.begin());
}

bool TRunHistory::Find(const std::string& fileName, TEntry& entry) const {
  const std::string key = Key(fileName);
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    const std::size_t blank = it->find(' ');
    if (blank != key.size() || it->compare(0, blank, key) != 0) continue;
    const std::string rest = it->substr(blank + 1);
    entry.southBound = rest.compare(0, 2, "S ") == 0;
    entry.noaa = rest.find("NOAA") != std::string::npos;
    entry.model = entry.noaa ? SensorModelFromText(rest) : smUnknown;
    return true;
  }
  return false;
}

}  // namespace vivurozed
