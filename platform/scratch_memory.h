// Large working buffers that a call allocates and frees again. Released
// blocks are kept (a few, up to a bounded total) and handed out again for
// the same size, so a host that renders frame after frame does not hand
// the memory back to the system and fault it in anew every frame, which
// costs more than the processing itself. Contents are never carried over
// in meaning: a block comes back uninitialised, as from new[].
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>

namespace platform {

// Throws std::bad_alloc when the memory cannot be had.
void* AcquireScratch(size_t bytes);
void ReleaseScratch(void* block, size_t bytes) noexcept;
// Frees every kept block (tests, and hosts that want the memory back).
void TrimScratch() noexcept;

struct ScratchDeleter {
  size_t bytes = 0;
  void operator()(void* block) const noexcept { ReleaseScratch(block, bytes); }
};

template <class T>
using ScratchArray = std::unique_ptr<T[], ScratchDeleter>;

// n uninitialised elements of a trivial type.
template <class T>
ScratchArray<T> MakeScratchArray(size_t n) {
  static_assert(std::is_trivially_default_constructible_v<T> &&
                std::is_trivially_destructible_v<T>);
  if (n > static_cast<size_t>(-1) / sizeof(T)) throw std::bad_alloc();
  const size_t bytes = n * sizeof(T);
  return ScratchArray<T>(static_cast<T*>(AcquireScratch(bytes)), ScratchDeleter{bytes});
}

}  // namespace platform
