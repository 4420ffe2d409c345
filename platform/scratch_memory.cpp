// The scratch-block cache: a short list of released blocks by size.
#include "platform/scratch_memory.h"

#include "platform/memory_block.h"

#include <mutex>
#include <vector>

namespace platform {
namespace {

#if defined(__SANITIZE_ADDRESS__)
// Under AddressSanitizer every block goes back at once, so that a use
// after release is still caught.
constexpr size_t kMaxBlocks = 0;
#else
constexpr size_t kMaxBlocks = 24;
#endif
constexpr size_t kMaxKeptBytes = size_t{96} << 20;

struct Kept {
  void* block;
  size_t bytes;
};

std::mutex g_mutex;
std::vector<Kept> g_kept;
size_t g_kept_bytes = 0;

}  // namespace

void* AcquireScratch(size_t bytes) {
  if (bytes == 0) bytes = 1;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (size_t i = g_kept.size(); i-- > 0;) {
      if (g_kept[i].bytes == bytes) {
        void* block = g_kept[i].block;
        g_kept_bytes -= bytes;
        g_kept.erase(g_kept.begin() + static_cast<ptrdiff_t>(i));
        return block;
      }
    }
  }
  return AllocateBlock(bytes);
}

void ReleaseScratch(void* block, size_t bytes) noexcept {
  if (!block) return;
  if (bytes == 0) bytes = 1;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_kept.size() < kMaxBlocks && g_kept_bytes + bytes <= kMaxKeptBytes) {
      try {
        g_kept.push_back({block, bytes});
        g_kept_bytes += bytes;
        return;
      } catch (...) {
      }
    }
  }
  FreeBlock(block, bytes);
}

void TrimScratch() noexcept {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (const Kept& k : g_kept) FreeBlock(k.block, k.bytes);
  g_kept.clear();
  g_kept_bytes = 0;
}

}  // namespace platform
