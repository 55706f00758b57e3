#include "app/RunFailure.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace vivurozed {
namespace {

namespace fs = std::filesystem;

std::string Start(const std::string& fileName, std::size_t n) {
  std::ifstream in(fileName, std::ios::binary);
  std::string bytes(n, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(n));
  bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return bytes;
}

bool StartsWith(const std::string& s, const char* prefix, std::size_t n) {
  return s.size() >= n && std::memcmp(s.data(), prefix, n) == 0;
}

// The kind an input's first bytes show, with the name ending that reads it.
struct TKind {
  const char* what;
  const char* extension;
};

TKind KindOf(const std::string& head) {
  if (StartsWith(head, "RIFF", 4) && head.size() >= 12 && head.compare(8, 4, "WAVE") == 0)
    return {"a WAV recording", ".wav"};
  if (StartsWith(head, "\x89PNG\r\n\x1a\n", 8)) return {"a PNG picture", ".png"};
  if (StartsWith(head, "\xff\xd8\xff", 3)) return {"a JPEG picture", ".jpg"};
  if (StartsWith(head, "BM", 2) && head.size() >= 26) return {"a BMP picture", ".bmp"};
  return {nullptr, nullptr};
}

}  // namespace

std::string DescribeFileStart(const std::string& fileName) {
  const std::string head = Start(fileName, 64);
  if (head.empty()) return "an empty file";
  if (const TKind kind = KindOf(head); kind.what) return kind.what;
  if (StartsWith(head, "PK\x03\x04", 4)) return "a ZIP archive";
  if (StartsWith(head, "ID3", 3) || StartsWith(head, "\xff\xfb", 2)) return "MP3 audio";
  if (StartsWith(head, "OggS", 4)) return "Ogg audio";
  if (StartsWith(head, "fLaC", 4)) return "FLAC audio";
  bool text = true;
  for (unsigned char c : head) text = text && (c >= 0x20 || c == '\n' || c == '\r' || c == '\t');
  if (text) {
    std::string first = head.substr(0, head.find_first_of("\r\n"));
    if (first.size() > 24) first = first.substr(0, 24) + "...";
    return "text beginning \"" + first + "\"";
  }
  std::string hex = "binary data (";
  for (std::size_t i = 0; i < 4 && i < head.size(); ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, "%02x ", static_cast<unsigned char>(head[i]));
    hex += byte;
  }
  return hex + "...)";
}

std::string NotAnInputReason(const std::string& fileName) {
  const std::string name = fs::path(fileName).filename().string();
  if (const TKind kind = KindOf(Start(fileName, 64)); kind.what)
    return name + " holds " + kind.what + " but its name does not end in " + kind.extension +
           ": rename it to end in " + kind.extension + " and give it again";
  return name + " is not a WAV recording or a BMP/PNG/JPEG picture: it holds " +
         DescribeFileStart(fileName) +
         "; give a WAV recording of the receiver's audio output, or a saved picture (.bmp, .png, "
         ".jpg, .noa, .max)";
}

std::string WaveHeaderReason(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in)
    return "cannot read " + fileName + ": " + std::strerror(errno) +
           "; check that it exists and that you may read it";
  const std::string found = DescribeFileStart(fileName);
  if (found == "a WAV recording")
    return "Error reading wave file header: " + fileName +
           " has no sound format or no sound data; give the recording as its recorder saved it";
  return "Error reading wave file header: " + fileName + " is not a WAV recording: it holds " +
         found + "; give a WAV recording of the receiver's audio output";
}

std::string AdviceForError(const std::string& error) {
  for (int space : {ENOSPC, EDQUOT, EFBIG})
    if (error.find(std::strerror(space)) != std::string::npos)
      return "free some space on the disk or choose another output folder";
  for (int denied : {EACCES, EPERM, EROFS})
    if (error.find(std::strerror(denied)) != std::string::npos)
      return "choose an output folder you may write to";
  return "choose another output folder";
}

std::string SaveFailureReason(const std::vector<std::string>& failures,
                              const std::vector<std::string>& written) {
  if (failures.empty()) return "nothing was saved";
  std::string line = written.empty() ? "nothing was saved: " : "not all pictures were saved: ";
  line += failures.front();
  if (failures.size() > 1) line += " (and " + std::to_string(failures.size() - 1) + " more)";
  return line + "; " + AdviceForError(failures.front());
}

}  // namespace vivurozed
