// Zero-initialised byte storage for pictures. Large blocks come straight from
// the system's zeroed pages, so a buffer that is written anyway is never
// cleared twice, pages never written are never touched, and freeing returns
// the memory at once instead of leaving it in the allocator's heap.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vivurozed {

class TPixelStore {
 public:
  TPixelStore() = default;
  explicit TPixelStore(std::size_t size);  // all bytes 0; throws std::bad_alloc
  TPixelStore(const TPixelStore& other);
  TPixelStore(TPixelStore&& other) noexcept;
  TPixelStore& operator=(TPixelStore other) noexcept;
  ~TPixelStore();

  std::uint8_t* Data() { return data_; }
  const std::uint8_t* Data() const { return data_; }
  std::size_t Size() const { return size_; }

  // Keeps the first size bytes (at most Size()) and gives back the rest.
  void Shrink(std::size_t size);

  friend void swap(TPixelStore& a, TPixelStore& b) noexcept;

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t reserved_ = 0;  // bytes mapped, 0 when the block came from the heap
};

}  // namespace vivurozed
