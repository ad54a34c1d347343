#pragma once
#include <sys/mman.h>

#include <cstddef>
#include <new>

namespace orvek {

// Memory for large work arrays: anonymous pages (zero-filled, committed on first use) that the
// kernel may back with 2 MB pages on request, so that first use costs one fault per 2 MB rather
// than per 4 kB.
inline void* AllocateLargePages(std::size_t bytes) {
  void* pages = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (pages == MAP_FAILED) throw std::bad_alloc();
  madvise(pages, bytes, MADV_HUGEPAGE);
  return pages;
}

inline void FreeLargePages(void* pages, std::size_t bytes) {
  if (pages) munmap(pages, bytes);
}

// Allocator for std::vector work arrays of a cochlear run.
template <typename T>
struct LargePageAllocator {
  using value_type = T;
  LargePageAllocator() = default;
  template <typename U>
  LargePageAllocator(const LargePageAllocator<U>&) {}
  T* allocate(std::size_t n) { return static_cast<T*>(AllocateLargePages(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) { FreeLargePages(p, n * sizeof(T)); }
  template <typename U>
  bool operator==(const LargePageAllocator<U>&) const {
    return true;
  }
};

}  // namespace orvek
