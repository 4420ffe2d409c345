// POSIX: a block of 256 KiB or more is mapped on its own, and its pages
// are put in place in one call; one of 2 MiB or more is aligned to 2 MiB,
// so that Linux may back it with huge pages. Smaller blocks, and every
// block under a sanitizer (which watches only the heap), come from the
// heap.
#include <sys/mman.h>

#include <cstdint>

#include "platform/memory_block.h"

namespace platform {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

constexpr size_t kMapped = size_t{256} << 10;  // the smallest block mapped on its own
constexpr size_t kPage = size_t{4} << 10;
constexpr size_t kHuge = size_t{2} << 20;

bool Mapped(size_t bytes) { return !kSanitized && bytes >= kMapped; }
size_t MappedSize(size_t bytes) { return (bytes + kPage - 1) / kPage * kPage; }

}  // namespace

void* AllocateBlock(size_t bytes) {
  if (!Mapped(bytes)) return ::operator new(bytes == 0 ? 1 : bytes);
  if (bytes > SIZE_MAX - 2 * kHuge) throw std::bad_alloc();
  const size_t size = MappedSize(bytes);
  const size_t align = size >= kHuge ? kHuge : kPage;
  // Map the alignment more than needed and trim the ends to it.
  void* area =
      mmap(nullptr, size + align, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (area == MAP_FAILED) throw std::bad_alloc();
  auto* start = static_cast<uint8_t*>(area);
  auto* block = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(start) + align - 1) &
                                           ~(uintptr_t{align} - 1));
  if (block != start) munmap(start, static_cast<size_t>(block - start));
  if (const size_t tail = static_cast<size_t>(start + size + align - (block + size)); tail) {
    munmap(block + size, tail);
  }
#ifdef MADV_HUGEPAGE
  if (size >= kHuge) madvise(block, size, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
  // Older kernels refuse this; their pages then come on first touch.
  madvise(block, size, MADV_POPULATE_WRITE);
#endif
  return block;
}

void FreeBlock(void* block, size_t bytes) noexcept {
  if (!block) return;
  if (!Mapped(bytes)) {
    ::operator delete(block);
    return;
  }
  munmap(block, MappedSize(bytes));
}

}  // namespace platform
