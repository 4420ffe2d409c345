// Memory for frames and the engine's images: blocks of a megabyte or more
// that a render keeps for its whole length. Where the system allows, such
// a block is backed by large pages and comes with its pages already in
// place, so that a render does not stop at each of its first touches of a
// page (on a virtual machine each of those costs about as much as
// converting a row of pixels).
#pragma once

#include <cstddef>
#include <new>

namespace platform {

// `bytes` bytes, uninitialised as from new[]; throws std::bad_alloc when
// they cannot be had.
void* AllocateBlock(size_t bytes);
// Frees a block from AllocateBlock of the same size; null is ignored.
void FreeBlock(void* block, size_t bytes) noexcept;

// An allocator for containers of frame pixels.
template <class T>
struct BlockAllocator {
  using value_type = T;
  BlockAllocator() = default;
  template <class U>
  BlockAllocator(const BlockAllocator<U>&) noexcept {}  // NOLINT: converts as allocators do
  T* allocate(size_t n) {
    if (n > static_cast<size_t>(-1) / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(AllocateBlock(n * sizeof(T)));
  }
  void deallocate(T* block, size_t n) noexcept { FreeBlock(block, n * sizeof(T)); }
  template <class U>
  bool operator==(const BlockAllocator<U>&) const noexcept {
    return true;
  }
  template <class U>
  bool operator!=(const BlockAllocator<U>&) const noexcept {
    return false;
  }
};

}  // namespace platform
