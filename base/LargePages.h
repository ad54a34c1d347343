#pragma once
#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <new>

// AddressSanitizer sees the bounds of what its own allocator hands out only.
#if defined(__SANITIZE_ADDRESS__)
#define ORVEK_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVEK_ADDRESS_SANITIZER 1
#endif
#endif

namespace orvek {

// Memory for large work arrays: anonymous pages (zero-filled, committed on first use) that the
// kernel may back with 2 MB pages on request, so that first use costs one fault per 2 MB rather
// than per 4 kB. A sanitized build takes zeroed memory from the sanitizer's allocator instead, so
// that a read or write past the end of a buffer is reported.
inline void* AllocateLargePages(std::size_t bytes) {
#ifdef ORVEK_ADDRESS_SANITIZER
  void* pages = std::calloc(bytes, 1);
  if (!pages) throw std::bad_alloc();
#else
  void* pages = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (pages == MAP_FAILED) throw std::bad_alloc();
  madvise(pages, bytes, MADV_HUGEPAGE);
#endif
  return pages;
}

inline void FreeLargePages(void* pages, [[maybe_unused]] std::size_t bytes) {
#ifdef ORVEK_ADDRESS_SANITIZER
  std::free(pages);
#else
  if (pages) munmap(pages, bytes);
#endif
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
