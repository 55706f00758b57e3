// Writing a whole file under its final name without ever leaving a part of
// it there: the bytes go to a fresh file in the same folder, which then
// replaces the target in one rename. A failure leaves the target as it was.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace vivurozed {

// True when the target now holds exactly these bytes. On failure the reason
// goes to *error when given, and no temporary file is left behind.
bool ReplaceFileContents(const std::filesystem::path& target, std::span<const std::uint8_t> bytes,
                         std::string* error = nullptr);

}  // namespace vivurozed
