// Where files live: the per-user data folder the program writes, and the
// folders of read-only data shipped with it. Tests point both elsewhere.
#pragma once

#include <filesystem>
#include <vector>

namespace vivurozed {

// $XDG_DATA_HOME/vivurozed, or ~/.local/share/vivurozed, unless overridden.
std::filesystem::path UserDataFolder();
// An empty path restores the default.
void SetUserDataFolder(const std::filesystem::path& folder);

// UserDataFolder()/keps: where element files live when no Kepler folder is set.
std::filesystem::path DefaultKeplerFolder();

// The install data folder, then data/ of the source tree, unless overridden.
std::vector<std::filesystem::path> ShippedDataFolders();
// An empty list restores the default.
void SetShippedDataFolders(std::vector<std::filesystem::path> folders);

}  // namespace vivurozed
