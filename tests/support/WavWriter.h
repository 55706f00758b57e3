// Builds WAVE files for tests: PCM or extensible headers, 8 or 16 bits, any
// channel count, and the damaged variants a reader must survive.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vivurozed::testing {

struct WavOptions {
  int sampleRate = 11025;
  int channels = 1;
  int bits = 16;
  bool extensible = false;
  std::uint16_t formatTag = 1;         // written when not extensible
  int blockAlignOverride = -1;         // -1: channels * bits / 8
  std::int64_t dataSizeOverride = -1;  // -1: the real size
  std::int64_t riffSizeOverride = -1;
  bool listChunkBeforeData = false;  // an odd-sized chunk the reader must step over
};

// Interleaved samples on the 16-bit scale; 8-bit files store s / 256 + 128.
std::vector<std::uint8_t> BuildWav(const std::vector<std::int16_t>& interleaved,
                                   const WavOptions& options = {});
void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
// The whole file; empty when it cannot be read.
std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path);
void WriteWav(const std::filesystem::path& path, const std::vector<std::int16_t>& interleaved,
              const WavOptions& options = {});

// A fresh folder under the system temporary folder, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace vivurozed::testing
