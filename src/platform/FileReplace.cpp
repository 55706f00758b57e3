#include "platform/FileReplace.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace vivurozed {
namespace {

bool Fail(std::string* error, const std::string& what) {
  if (error) *error = what + ": " + std::strerror(errno);
  return false;
}

}  // namespace

bool ReplaceFileContents(const std::filesystem::path& target, std::span<const std::uint8_t> bytes,
                         std::string* error) {
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
  std::random_device random;
  std::filesystem::path temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    std::string leaf = ".";
    leaf += target.filename().string();
    leaf += '.';
    leaf += std::to_string(random());
    leaf += ".tmp";
    temporary = folder / leaf;
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return Fail(error, "cannot create a file in " + folder.string());

  const std::uint8_t* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Fail(error, "cannot write " + temporary.string());
      ::close(fd);
      ::unlink(temporary.c_str());
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  // Where an earlier file is replaced, the data must be on disk before the
  // name points at it, or a crash could leave an empty file where the old
  // one was. A new name has nothing to lose and skips the wait.
  std::error_code ec;
  const bool replaces = std::filesystem::exists(target, ec);
  const bool synced = !replaces || ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  if (!synced || !closed) {
    Fail(error, "cannot write " + temporary.string());
    ::unlink(temporary.c_str());
    return false;
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    Fail(error, "cannot replace " + target.string());
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace vivurozed
