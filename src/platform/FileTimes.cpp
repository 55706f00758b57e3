#include "platform/FileTimes.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cmath>

namespace vivurozed {

namespace {
double Seconds(const struct statx_timestamp& t) {
  return t.tv_sec + t.tv_nsec * 1e-9;
}
}  // namespace

std::optional<TFileTimes> GetFileTimes(const std::filesystem::path& name) {
  struct statx sx {};
  if (statx(AT_FDCWD, name.c_str(), 0, STATX_MTIME | STATX_BTIME, &sx) != 0) return std::nullopt;
  TFileTimes times;
  times.modified = Seconds(sx.stx_mtime);
  times.created = (sx.stx_mask & STATX_BTIME) ? Seconds(sx.stx_btime) : times.modified;
  return times;
}

bool SetModifiedTime(const std::filesystem::path& name, double seconds) {
  const double whole = std::floor(seconds);
  const struct timespec times[2] = {
      {0, UTIME_OMIT}, {static_cast<time_t>(whole), static_cast<long>((seconds - whole) * 1e9)}};
  return utimensat(AT_FDCWD, name.c_str(), times, 0) == 0;
}

}  // namespace vivurozed
