#pragma once
// Storage of the picture-sized buffers (pixels, occupancy, layer cells). A record's points
// change cells all over several of them, more small pages than the processor keeps
// addresses for; where the system grants them (Linux), they are held in huge pages.

#include <cstddef>
#include <cstdlib>
#include <new>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace norv {

template <typename T>
class TLargeBufferAllocator {
 public:
  using value_type = T;
  static constexpr std::size_t kHugePage = std::size_t{2} << 20;

  TLargeBufferAllocator() = default;
  template <typename U>
  TLargeBufferAllocator(const TLargeBufferAllocator<U>&) {}

  T* allocate(std::size_t n) {
    if (n > (static_cast<std::size_t>(-1) - kHugePage) / sizeof(T)) throw std::bad_array_new_length();
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kHugePage) return static_cast<T*>(::operator new(bytes));
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* p = std::aligned_alloc(kHugePage, rounded);
    if (p == nullptr) throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Only a hint: refused, the buffer keeps small pages.
    madvise(p, rounded, MADV_HUGEPAGE);
#endif
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t n) {
    if (n * sizeof(T) < kHugePage) {
      ::operator delete(p);
    } else {
      std::free(p);
    }
  }
  template <typename U>
  bool operator==(const TLargeBufferAllocator<U>&) const {
    return true;
  }
};

template <typename T>
using TLargeBuffer = std::vector<T, TLargeBufferAllocator<T>>;

}  // namespace norv
