#include "platform/PixelStore.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#define VZ_MAPPED_STORE 1
#endif

namespace vivurozed {

namespace {

#ifdef VZ_MAPPED_STORE
// Below this a block is cheaper from the heap than from its own mapping.
constexpr std::size_t kMapFrom = std::size_t(1) << 20;
constexpr std::size_t kHugePage = std::size_t(2) << 20;

std::size_t PageSize() {
  static const std::size_t page = std::size_t(::sysconf(_SC_PAGESIZE));
  return page;
}

std::size_t RoundUp(std::size_t n, std::size_t to) {
  return (n + to - 1) / to * to;
}
#endif

}  // namespace

TPixelStore::TPixelStore(std::size_t size) : size_(size) {
  if (size == 0) return;
#ifdef VZ_MAPPED_STORE
  if (size >= kMapFrom) {
    // Few large pages fault far faster than many small ones (each fault is
    // dear, above all in a virtual machine), so a block is whole large pages
    // on a large-page boundary; the hint is only a hint.
    const std::size_t length = RoundUp(size, kHugePage);
    void* p = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    auto* base = static_cast<std::uint8_t*>(p);
    auto* start =
        base + (kHugePage - reinterpret_cast<std::uintptr_t>(base) % kHugePage) % kHugePage;
    if (start > base) ::munmap(base, std::size_t(start - base));
    const std::size_t after = kHugePage - std::size_t(start - base);
    if (after) ::munmap(start + length, after);
    ::madvise(start, length, MADV_HUGEPAGE);
    data_ = start;
    reserved_ = length;
    return;
  }
#endif
  data_ = static_cast<std::uint8_t*>(std::calloc(size, 1));
  if (!data_) throw std::bad_alloc();
}

TPixelStore::TPixelStore(const TPixelStore& other) : TPixelStore(other.size_) {
  if (size_) std::memcpy(data_, other.data_, size_);
}

TPixelStore::TPixelStore(TPixelStore&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      reserved_(std::exchange(other.reserved_, 0)) {}

TPixelStore& TPixelStore::operator=(TPixelStore other) noexcept {
  swap(*this, other);
  return *this;
}

TPixelStore::~TPixelStore() {
  if (!data_) return;
#ifdef VZ_MAPPED_STORE
  if (reserved_) {
    ::munmap(data_, reserved_);
    return;
  }
#endif
  std::free(data_);
}

void TPixelStore::Shrink(std::size_t size) {
  if (size >= size_) return;
  size_ = size;
#ifdef VZ_MAPPED_STORE
  if (reserved_) {
    const std::size_t keep = RoundUp(size, PageSize());
    if (keep < reserved_) {
      ::munmap(data_ + keep, reserved_ - keep);
      reserved_ = keep;
    }
    if (keep == 0) data_ = nullptr;
  }
#endif
}

void swap(TPixelStore& a, TPixelStore& b) noexcept {
  std::swap(a.data_, b.data_);
  std::swap(a.size_, b.size_);
  std::swap(a.reserved_, b.reserved_);
}

}  // namespace vivurozed
