#include "WavWriter.h"

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace vivurozed::testing {

namespace {

void Put16(std::vector<std::uint8_t>& b, std::uint32_t v) {
  b.push_back(v & 0xFF);
  b.push_back((v >> 8) & 0xFF);
}
void Put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void PutId(std::vector<std::uint8_t>& b, const char* id) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(id[i]));
}

}  // namespace

std::vector<std::uint8_t> BuildWav(const std::vector<std::int16_t>& interleaved,
                                   const WavOptions& o) {
  std::vector<std::uint8_t> data;
  for (std::int16_t s : interleaved) {
    if (o.bits == 8) {
      data.push_back(static_cast<std::uint8_t>((s >> 8) + 128));
    } else {
      Put16(data, static_cast<std::uint16_t>(s));
    }
  }
  const int blockAlign = o.blockAlignOverride >= 0 ? o.blockAlignOverride : o.channels * o.bits / 8;
  std::vector<std::uint8_t> fmt;
  Put16(fmt, o.extensible ? 0xFFFE : o.formatTag);
  Put16(fmt, static_cast<std::uint32_t>(o.channels));
  Put32(fmt, static_cast<std::uint32_t>(o.sampleRate));
  Put32(fmt, static_cast<std::uint32_t>(o.sampleRate * blockAlign));
  Put16(fmt, static_cast<std::uint32_t>(blockAlign));
  Put16(fmt, static_cast<std::uint32_t>(o.bits));
  if (o.extensible) {
    Put16(fmt, 22);
    Put16(fmt, static_cast<std::uint32_t>(o.bits));  // valid bits
    Put32(fmt, o.channels == 1 ? 0x4 : 0x3);         // speaker mask
    Put32(fmt, o.formatTag);                         // sub-format GUID, first field
    const std::uint8_t tail[] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    fmt.insert(fmt.end(), tail, tail + sizeof tail);
  }

  std::vector<std::uint8_t> out;
  PutId(out, "RIFF");
  Put32(out, 0);  // patched below
  PutId(out, "WAVE");
  PutId(out, "fmt ");
  Put32(out, static_cast<std::uint32_t>(fmt.size()));
  out.insert(out.end(), fmt.begin(), fmt.end());
  if (o.listChunkBeforeData) {
    PutId(out, "LIST");
    Put32(out, 5);
    const char text[] = "INFOx";
    out.insert(out.end(), text, text + 5);
    out.push_back(0);  // pad byte
  }
  PutId(out, "data");
  Put32(out, static_cast<std::uint32_t>(o.dataSizeOverride >= 0
                                            ? o.dataSizeOverride
                                            : static_cast<std::int64_t>(data.size())));
  out.insert(out.end(), data.begin(), data.end());
  if (data.size() & 1) out.push_back(0);
  const std::uint32_t riff = static_cast<std::uint32_t>(
      o.riffSizeOverride >= 0 ? o.riffSizeOverride : static_cast<std::int64_t>(out.size() - 8));
  for (int i = 0; i < 4; ++i) out[4 + i] = (riff >> (8 * i)) & 0xFF;
  return out;
}

void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + path.string());
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteWav(const std::filesystem::path& path, const std::vector<std::int16_t>& interleaved,
              const WavOptions& options) {
  WriteBytes(path, BuildWav(interleaved, options));
}

TempDir::TempDir() {
  std::random_device rd;
  const auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0;; ++attempt) {
    path_ = base / ("vivurozed-test-" + std::to_string(rd()));
    if (std::filesystem::create_directory(path_)) break;
    if (attempt > 100) throw std::runtime_error("cannot create a temporary folder");
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

}  // namespace vivurozed::testing
