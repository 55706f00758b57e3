#include "platform/PixelStore.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vivurozed {
namespace {

TEST(PixelStore, StartsZeroCopiesAndShrinksWhateverItsSize) {
  // Small blocks come from the heap, large ones from their own mapping.
  for (std::size_t size : {std::size_t{0}, std::size_t{100}, std::size_t{3} << 20}) {
    TPixelStore store(size);
    ASSERT_EQ(store.Size(), size);
    EXPECT_TRUE(std::all_of(store.Data(), store.Data() + size, [](auto b) { return b == 0; }));
    for (std::size_t i = 0; i < size; ++i) store.Data()[i] = std::uint8_t(i * 7 + 1);
    TPixelStore copy = store;
    for (std::size_t i = 0; i < size; ++i) ASSERT_EQ(copy.Data()[i], store.Data()[i]);
    if (size) {
      copy.Data()[0] = 0;
      EXPECT_EQ(store.Data()[0], 1) << "the copy is independent";
    }
    TPixelStore moved = std::move(store);
    EXPECT_EQ(store.Size(), 0u);
    moved.Shrink(size / 3);
    EXPECT_EQ(moved.Size(), size / 3);
    for (std::size_t i = 1; i < size / 3; ++i) ASSERT_EQ(moved.Data()[i], copy.Data()[i]);
  }
}

}  // namespace
}  // namespace vivurozed
