// The run history: which way each processed recording's pass went and
// which satellite it was, so that opening it again restores both.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "noaa/Thermal.h"

namespace vivurozed {

class TRunHistory {
 public:
  static constexpr std::size_t kMaxEntries = 500;
  static constexpr const char* kFileName = "mru_list.ini";

  // A missing or unreadable file is an empty history.
  void Load(const std::filesystem::path& file);
  // Writes the whole list; false (and the file untouched) when it cannot.
  bool Save(const std::filesystem::path& file) const;

  // Replaces the file's entry by a new one at the end, dropping the oldest
  // beyond the limit. satellite: the sensor model's name for NOAA, else the
  // decode type's name.
  void Record(const std::string& fileName, bool southBound, const std::string& satellite);

  struct TEntry {
    bool southBound = false;
    TSensorModel model = smUnknown;
    bool noaa = false;
  };
  // The entry of a file, if there is one.
  bool Find(const std::string& fileName, TEntry& entry) const;

  const std::vector<std::string>& Entries() const { return entries_; }

 private:
  static std::string Key(const std::string& fileName);
  std::vector<std::string> entries_;
};

}  // namespace vivurozed
