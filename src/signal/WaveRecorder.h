// Keeps audio in a WAV file as it arrives. While recording, the header
// gives both sizes as unknown (0xFFFFFFFF), so that a file left behind by a
// crash or a pulled plug is read to its end; Close writes the real sizes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <span>
#include <string>

#include "signal/WaveCommon.h"

namespace vivurozed {

class TWaveRecorder {
 public:
  // Creates (or replaces) the file for audio in `format`, written as PCM.
  // Throws EWaveInError when it cannot.
  TWaveRecorder(std::string fileName, const TWaveFormat& format);
  ~TWaveRecorder();
  TWaveRecorder(const TWaveRecorder&) = delete;
  TWaveRecorder& operator=(const TWaveRecorder&) = delete;

  // Appends bytes in the recording's format and hands them to the system,
  // so a crash of the program loses nothing written. Any thread may call
  // this and Close. Throws EWaveInError when the disk refuses them.
  void Write(std::span<const std::uint8_t> bytes);
  // Writes the real sizes into the header. Later calls do nothing.
  void Close();

  const std::string& FileName() const { return fileName_; }
  std::uint64_t DataBytes() const;

 private:
  void Fail(const char* what);

  std::string fileName_;
  mutable std::mutex mutex_;
  std::FILE* file_ = nullptr;
  std::uint64_t dataBytes_ = 0;
};

}  // namespace vivurozed
