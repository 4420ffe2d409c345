// Scratch blocks: usable memory, failures as std::bad_alloc.
#include "platform/scratch_memory.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(ScratchMemoryTest, BlocksAreUsableAcrossReleaseAndReacquire) {
  for (int round = 0; round < 3; ++round) {
    auto a = platform::MakeScratchArray<uint8_t>(1 << 20);
    auto b = platform::MakeScratchArray<int32_t>(1000);
    ASSERT_NE(a.get(), nullptr);
    ASSERT_NE(b.get(), reinterpret_cast<int32_t*>(a.get()));
    std::memset(a.get(), round, 1 << 20);
    for (int i = 0; i < 1000; ++i) b[i] = i;
    EXPECT_EQ(a[12345], round);
    EXPECT_EQ(b[999], 999);
  }
  platform::TrimScratch();
  auto empty = platform::MakeScratchArray<uint8_t>(0);
  EXPECT_NE(empty.get(), nullptr);
}

TEST(ScratchMemoryTest, ByteCountsBeyondTheAddressSpaceThrowOutOfMemory) {
  EXPECT_THROW(platform::MakeScratchArray<int32_t>(static_cast<size_t>(-1) / 2), std::bad_alloc);
}

}  // namespace
