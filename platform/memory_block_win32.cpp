// Windows: blocks from the heap, as the plug-in has always had them.
#include "platform/memory_block.h"

namespace platform {

void* AllocateBlock(size_t bytes) { return ::operator new(bytes == 0 ? 1 : bytes); }

void FreeBlock(void* block, size_t) noexcept { ::operator delete(block); }

}  // namespace platform
