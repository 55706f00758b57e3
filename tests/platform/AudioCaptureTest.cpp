#include "platform/AudioCapture.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace vivurozed {
namespace {

// Keeps a copy of every buffer handed over and queues it again, as a
// capture input does.
class Keeper : public TCaptureListener {
 public:
  explicit Keeper(TCaptureBuffers& b) : buffers(b) {}
  TCaptureBuffers& buffers;
  std::vector<std::vector<std::uint8_t>> handed;
  bool requeue = true;
  void CaptureOpened() override {}
  void CaptureClosed() override {}
  void CaptureData(TWaveHeader& h) override {
    handed.emplace_back(h.Data, h.Data + h.BytesRecorded);
    if (requeue) buffers.Add(h);
  }
};

TEST(CaptureBuffers, FillsQueuedBuffersInTurnFromPiecesOfAnySize) {
  std::vector<std::uint8_t> sound(1000);
  std::iota(sound.begin(), sound.end(), 0);
  for (std::size_t piece : {1, 7, 64, 100, 1000}) {
    TCaptureBuffers buffers;
    Keeper keeper(buffers);
    std::vector<std::uint8_t> a(64), b(64);
    TWaveHeader ha{a.data(), 64}, hb{b.data(), 64};
    buffers.Add(ha);
    buffers.Add(hb);
    for (std::size_t at = 0; at < sound.size(); at += piece)
      buffers.Deliver(std::span(sound).subspan(at, std::min(piece, sound.size() - at)), keeper);
    buffers.Reset(keeper);  // the unfinished buffer comes back as it is
    ASSERT_EQ(keeper.handed.size(), 16u) << piece;
    std::vector<std::uint8_t> joined;
    for (const auto& h : keeper.handed) joined.insert(joined.end(), h.begin(), h.end());
    EXPECT_EQ(joined, sound) << piece;
    EXPECT_EQ(keeper.handed.back().size(), 1000u % 64) << piece;
    EXPECT_EQ(buffers.DroppedBytes(), 0u);
  }
  // With no buffer queued, the sound is dropped and counted.
  TCaptureBuffers buffers;
  Keeper keeper(buffers);
  keeper.requeue = false;
  std::vector<std::uint8_t> a(64);
  TWaveHeader h{a.data(), 64};
  buffers.Add(h);
  buffers.Deliver(sound, keeper);
  EXPECT_EQ(keeper.handed.size(), 1u);
  EXPECT_EQ(buffers.DroppedBytes(), 1000u - 64u);
}

}  // namespace
}  // namespace vivurozed
