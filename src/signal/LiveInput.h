// Audio that arrives while it is decoded: a WAV or raw stream on a pipe
// (standard input), a WAV file still being written, and (CaptureInput.h) a
// sound card. Each hands out 16-bit stereo frames, as the file reader does,
// and keeps what arrived in a WAV file, so nothing received is lost.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "signal/WaveCommon.h"
#include "signal/WaveRecorder.h"

namespace vivurozed {

class TLiveInput {
 public:
  virtual ~TLiveInput() = default;

  // Starts receiving; what arrives is kept in the WAV file `recording`
  // (none when empty). Inputs that are a file already keep nothing more.
  // Throws EWaveInError when the input cannot start (no device, ...).
  virtual void Start(const std::string& recording) = 0;
  // SamplesPerSec is 0 until the input knows its format.
  virtual TWaveFormat Format() const = 0;
  // Waits at most `wait` for audio and puts up to frames.size() / 2 frames
  // (left, right) into `frames`; returns how many. 0: nothing came in time,
  // or the input has ended. Throws EWaveInError once when the input failed,
  // after everything received before it has been read.
  std::size_t Read(std::span<std::int16_t> frames, std::chrono::milliseconds wait);
  // True once everything the input will ever have has been read.
  virtual bool Ended() const = 0;
  // For messages: "standard input", a file name, a device.
  virtual std::string Name() const = 0;
  // The WAV file holding what arrived so far (the followed file or the
  // recording); empty when nothing is kept. Readable at any time.
  virtual std::string RecordingFile() const = 0;
  // Stops receiving and finishes the recording (its header gets its sizes).
  // Safe to call more than once.
  virtual void Close() {}
  // Why the input failed, once it has (also when a stop came before Read
  // could report it); empty otherwise.
  virtual std::string Failure() const { return {}; }
  // The peak and the RMS of what was read since the last call, 0 .. 1 of
  // full scale. Any thread may ask (a level meter).
  struct TLevels {
    float peak = 0, rms = 0;
  };
  TLevels TakeLevels();

 protected:
  virtual std::size_t ReadFrames(std::span<std::int16_t> frames,
                                 std::chrono::milliseconds wait) = 0;

 private:
  std::mutex levelMutex_;
  int peak_ = 0;
  double squares_ = 0;
  std::uint64_t values_ = 0;
};

// A WAV header read from the front of a stream, without seeking.
struct TWaveHead {
  enum TStatus : std::uint8_t { whNeedMore = 0, whBad = 1, whReady = 2 };
  TStatus status = whNeedMore;
  TWaveFormat format;          // PCM (extensible PCM is reported as plain PCM)
  std::size_t dataOffset = 0;  // of the first sample byte
  std::uint32_t dataSize = 0;  // as declared
  bool sizeKnown = false;      // false: 0 or a placeholder, read to the end
  std::string error;           // why whBad
};
// The header at the front of `bytes`, or whNeedMore while it is incomplete.
// Refuses headers that grow past a megabyte before the "data" chunk.
TWaveHead ParseWaveHead(std::span<const std::uint8_t> bytes);
// Whether a declared data size is a real one (recorders that cannot seek
// write 0 or a huge placeholder).
bool IsKnownDataSize(std::uint32_t declared);

// Audio handed over by a producer (a reader thread, a capture device's
// thread): bytes in the input's own format queue up until Read takes them,
// and go to the recording as they arrive.
class TQueuedInput : public TLiveInput {
 public:
  TWaveFormat Format() const override;
  bool Ended() const override;
  std::string RecordingFile() const override;
  std::string Failure() const override;
  // Bytes that arrived, in the input's own format, and those of them not
  // read yet.
  std::uint64_t ReceivedBytes() const;
  std::size_t QueuedBytes() const;

 protected:
  void SetRecordingName(const std::string& name);
  // The producer's calls. Begin: the format is known; the recording starts
  // (throws EWaveInError when the format cannot be streamed or the file
  // cannot be made). Push: false when the stream had to end (the recording
  // failed). Finish: nothing more will come; a non-empty error is reported
  // by Read after the queued audio.
  void Begin(const TWaveFormat& format);
  bool Push(std::span<const std::uint8_t> bytes);
  void Finish(const std::string& error = {});
  // After the producer has stopped: the recording gets its sizes.
  void CloseRecording();
  std::size_t ReadFrames(std::span<std::int16_t> frames, std::chrono::milliseconds wait) override;

 private:
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  TWaveFormat format_{1, 0, 0, 0, 0, 0};
  std::vector<std::uint8_t> queue_;
  std::size_t head_ = 0;  // first unread byte of queue_
  std::uint64_t received_ = 0;
  bool finished_ = false, ended_ = false, errorReported_ = false;
  std::string error_;
  std::string recordingName_;
  std::unique_ptr<TWaveRecorder> recorder_;
};

// A pipe, standard input above all: a WAV stream whose header may give its
// length as unknown, or (rawRate > 0) headerless signed 16-bit
// little-endian mono at that rate. A thread of its own empties the pipe as
// fast as it fills, so the writer never waits on the decoder.
class TWaveStreamInput : public TQueuedInput {
 public:
  TWaveStreamInput(int fd, std::string name, int rawRate = 0);
  ~TWaveStreamInput() override;
  void Start(const std::string& recording) override;
  std::string Name() const override { return name_; }
  void Close() override;

 private:
  void Pump();
  int fd_;
  std::string name_;
  int rawRate_;
  std::thread thread_;
  std::atomic<bool> stop_ = false;
  bool closed_ = false;
};

// A WAV file that another program is still writing: read as it grows, and
// ended once it has not grown for `quiet`. The file is its own recording.
class TGrowingWaveInput : public TLiveInput {
 public:
  TGrowingWaveInput(std::string fileName, std::chrono::milliseconds quiet);
  void Start(const std::string& recording) override;
  TWaveFormat Format() const override { return format_; }
  bool Ended() const override { return ended_; }
  std::string Name() const override { return fileName_; }
  std::string RecordingFile() const override { return fileName_; }

 protected:
  std::size_t ReadFrames(std::span<std::int16_t> frames, std::chrono::milliseconds wait) override;

 private:
  bool ReadHead(std::uint64_t size);
  std::uint64_t DataEnd(std::uint64_t size);

  std::string fileName_;
  std::chrono::milliseconds quiet_;
  std::ifstream in_;
  TWaveFormat format_{1, 0, 0, 0, 0, 0};
  std::uint64_t dataOffset_ = 0, pos_ = 0, lastSize_ = 0;
  bool headDone_ = false, ended_ = false;
  std::chrono::steady_clock::time_point lastGrowth_;
  std::vector<std::uint8_t> raw_;
};

// Keeps what it reads from another input until Replay; then hands the kept
// frames out again before the rest. A run listens to the first seconds this
// way before it knows how to decode them.
class TReplayInput : public TLiveInput {
 public:
  explicit TReplayInput(TLiveInput& inner) : inner_(inner) {}
  void Start(const std::string& recording) override { inner_.Start(recording); }
  TWaveFormat Format() const override { return inner_.Format(); }
  bool Ended() const override;
  std::string Name() const override { return inner_.Name(); }
  std::string RecordingFile() const override { return inner_.RecordingFile(); }
  void Close() override { inner_.Close(); }
  std::string Failure() const override { return inner_.Failure(); }

  void Replay();
  std::size_t KeptFrames() const { return kept_.size() / 2; }

 protected:
  std::size_t ReadFrames(std::span<std::int16_t> frames, std::chrono::milliseconds wait) override;

 private:
  TLiveInput& inner_;
  std::vector<std::int16_t> kept_;
  std::size_t replayed_ = 0;  // values of kept_ handed out again
  bool replaying_ = false;
};

}  // namespace vivurozed
