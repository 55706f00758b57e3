// A sound card playing `sound` (16-bit mono) from a thread of its own, 777
// bytes at a time: never past `allowed` bytes, only while `mayPlay` lets
// it, held after `holdAfter` bytes until Release, lost after `loseAfter`.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "signal/CaptureInput.h"

namespace vivurozed::testing {

class FakeSoundCard : public TCaptureDevice {
 public:
  explicit FakeSoundCard(std::vector<std::uint8_t> sound) : sound_(std::move(sound)) {}
  ~FakeSoundCard() override { Stop(); }
  std::atomic<std::size_t> allowed = SIZE_MAX, played = 0;
  std::size_t loseAfter = SIZE_MAX, holdAfter = SIZE_MAX;
  std::function<bool()> mayPlay = [] { return true; };
  std::atomic<bool> done = false;
  bool released = false;  // by Release, not by the 20 s timeout
  double volume = -1;

  void Release() {
    std::lock_guard lock(mutex_);
    release_ = true;
    held_.notify_all();
  }
  int Open(const TWaveFormat&, TCaptureListener& l) override {
    listener_ = &l;
    return 0;
  }
  std::string ErrorText(int) const override { return "unplugged"; }
  void Prepare(TWaveHeader&) override {}
  void Unprepare(TWaveHeader&) override {}
  void AddBuffer(TWaveHeader& h) override { buffers_.Add(h); }
  void Start() override {
    thread_ = std::thread([this] {
      const std::size_t end = std::min(loseAfter, sound_.size());
      while (played < end && !stop_) {
        if (played >= holdAfter) {
          std::unique_lock lock(mutex_);
          released = held_.wait_for(lock, std::chrono::seconds(20), [this] { return release_; });
          holdAfter = SIZE_MAX;
        }
        if (played >= allowed || !mayPlay()) {
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
          continue;
        }
        const std::size_t n = std::min<std::size_t>({777, end - played, allowed - played});
        buffers_.Deliver(std::span(sound_).subspan(played, n), *listener_);
        played += n;
      }
      if (played == loseAfter) {
        buffers_.Reset(*listener_);
        listener_->CaptureFailed(5);
        listener_->CaptureClosed();
      }
      done = true;
    });
  }
  void Stop() override {
    stop_ = true;
    Release();
    if (thread_.joinable()) thread_.join();
  }
  void Reset() override { buffers_.Reset(*listener_); }
  void Close() override { listener_->CaptureClosed(); }
  void SetVolume(double v) override { volume = v; }

 private:
  std::vector<std::uint8_t> sound_;
  TCaptureListener* listener_ = nullptr;
  TCaptureBuffers buffers_;
  std::thread thread_;
  std::atomic<bool> stop_ = false;
  std::mutex mutex_;
  std::condition_variable held_;
  bool release_ = false;
};

}  // namespace vivurozed::testing
