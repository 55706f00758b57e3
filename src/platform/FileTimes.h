// A file's creation and last-write times, in seconds since 1970-01-01 UTC.
#pragma once

#include <filesystem>
#include <optional>

namespace vivurozed {

struct TFileTimes {
  double created = 0;  // the birth time where the file system keeps one, else the write time
  double modified = 0;
};

std::optional<TFileTimes> GetFileTimes(const std::filesystem::path& name);
// Days since 1899-12-30 (the date-time of the orbit code) of Unix seconds.
inline double UnixToDateTime(double seconds) {
  return seconds / 86400.0 + 25569.0;
}
inline double DateTimeToUnix(double days) {
  return (days - 25569.0) * 86400.0;
}
// Sets the last-write time (the birth time cannot be set).
bool SetModifiedTime(const std::filesystem::path& name, double seconds);

}  // namespace vivurozed
