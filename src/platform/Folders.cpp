#include "platform/Folders.h"

#include <cstdlib>
#include <system_error>

#ifndef VIVUROZED_INSTALL_DATA_DIR
#define VIVUROZED_INSTALL_DATA_DIR "/usr/local/share/vivurozed"
#endif

namespace vivurozed {

namespace {

std::filesystem::path& UserOverride() {
  static std::filesystem::path folder;
  return folder;
}

std::vector<std::filesystem::path>& ShippedOverride() {
  static std::vector<std::filesystem::path> folders;
  return folders;
}

}  // namespace

std::filesystem::path UserDataFolder() {
  if (!UserOverride().empty()) return UserOverride();
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && *xdg) return std::filesystem::path(xdg) / "vivurozed";
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home && *home ? home : ".") / ".local" / "share" / "vivurozed";
}

void SetUserDataFolder(const std::filesystem::path& folder) {
  UserOverride() = folder;
}

std::filesystem::path DefaultKeplerFolder() {
  return UserDataFolder() / "keps";
}

std::vector<std::filesystem::path> ShippedDataFolders() {
  if (!ShippedOverride().empty()) return ShippedOverride();
#ifdef VIVUROZED_SOURCE_DATA_DIR
  const std::filesystem::path source(VIVUROZED_SOURCE_DATA_DIR);
#else
  // This file sits in src/platform/ of the source tree (a compiler cache may
  // have made the name relative, hence the definition above).
  const auto source =
      std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "data";
#endif
  std::vector<std::filesystem::path> folders;
  // An installed tree that was moved, or a package built for another prefix,
  // keeps its data beside the program: <prefix>/bin/vivurozed and
  // <prefix>/share/vivurozed.
  std::error_code error;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const auto beside = exe.parent_path().parent_path() / "share" / "vivurozed";
    if (beside != std::filesystem::path(VIVUROZED_INSTALL_DATA_DIR) &&
        std::filesystem::is_directory(beside, error))
      folders.push_back(beside);
  }
  folders.push_back(VIVUROZED_INSTALL_DATA_DIR);
  folders.push_back(source);
  return folders;
}

void SetShippedDataFolders(std::vector<std::filesystem::path> folders) {
  ShippedOverride() = std::move(folders);
}

}  // namespace vivurozed
