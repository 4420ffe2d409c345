// The region mask: built from the rectangle list, applied to frames, and
// every block-copy variant against the reference.
#include "region/region_mask.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <vector>

#include "platform/cpu.h"
#include "region/rect_list.h"

namespace {

constexpr size_t kGuard = 32;
constexpr uint8_t kGuardByte = 0xA5;

// A frame-order YV12 buffer with guard bytes on both sides, misaligned by a
// chosen number of bytes.
class Frame {
 public:
  Frame(int32_t width, int32_t height, size_t misalign = 0)
      : size_(static_cast<size_t>(3 * int64_t{width} * height / 2)),
        offset_(kGuard + misalign),
        bytes_(offset_ + size_ + kGuard, kGuardByte) {}
  uint8_t* data() { return bytes_.data() + offset_; }
  size_t size() const { return size_; }
  std::vector<uint8_t> pixels() const { return {&bytes_[offset_], &bytes_[offset_] + size_}; }
  void Fill(std::mt19937& random, int pattern) {
    for (size_t i = 0; i < size_; ++i) {
      const uint8_t values[] = {static_cast<uint8_t>(random()), 0, 255,
                                static_cast<uint8_t>(i & 1 ? 255 : 0)};
      data()[i] = values[pattern];
    }
  }
  bool GuardsIntact() const {
    for (size_t i = 0; i < bytes_.size(); ++i) {
      if ((i < offset_ || i >= offset_ + size_) && bytes_[i] != kGuardByte) return false;
    }
    return true;
  }

 private:
  size_t size_, offset_;
  std::vector<uint8_t> bytes_;
};

std::vector<int32_t> Mask(int32_t width, int32_t height, const CRectList* list) {
  std::vector<int32_t> mask(RegionMaskEntries(width, height) + 1, -7);
  BuildRegionMask(mask.data(), width, height, list);
  EXPECT_EQ(mask.back(), -7) << "one entry per block, no more";
  mask.pop_back();
  return mask;
}

// Applies the mask to an all-0x00 output from an all-0xFF source: 1 marks
// the bytes that got their source back.
std::vector<uint8_t> Copied(int32_t width, int32_t height, const std::vector<int32_t>& mask) {
  Frame source(width, height), output(width, height);
  std::memset(source.data(), 0xFF, source.size());
  std::memset(output.data(), 0x00, output.size());
  ApplyRegionMask(height, output.data(), source.data(), mask.data(), width);
  EXPECT_TRUE(output.GuardsIntact());
  std::vector<uint8_t> copied = output.pixels();
  for (uint8_t& byte : copied) byte = byte ? 1 : 0;
  return copied;
}

TEST(RegionMaskTest, EachBlockFollowsItsTopLeftPixel) {
  EXPECT_EQ(RegionMaskEntries(720, 576), 6480u);
  EXPECT_EQ(RegionMaskEntries(721, 9), 182u);
  EXPECT_EQ(RegionMaskEntries(-16, 16), 0u);
  CRectList column("");
  column.Add(0, 8, 8, 8, 9);
  const std::vector<int32_t> mask = Mask(720, 576, &column);
  for (size_t k = 0; k < mask.size(); ++k) ASSERT_EQ(mask[k], k == 91 ? 0 : 1) << k;

  CRectList overlap("");
  overlap.Add(0, 4, 4, 20, 20);
  EXPECT_EQ(Mask(32, 32, &overlap),
            (std::vector<int32_t>{1, 1, 1, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 1, 1, 1}));
  overlap.Add(2, 8, 0, 8, 9);
  EXPECT_EQ(Mask(24, 8, &overlap), (std::vector<int32_t>{1, 2, 1}));

  EXPECT_EQ(Mask(32, 24, nullptr), std::vector<int32_t>(12, 1));
}

// The builder paints rectangles last first; every entry must still be what
// IsProcessed says for the block's top-left pixel, for long overlapping
// queues, include bytes other than 0 and 1, rectangles past the frame and
// sizes that are not multiples of 8.
TEST(RegionMaskTest, BuilderAgreesWithIsProcessedForEveryBlock) {
  std::mt19937 random(11);
  for (const auto& [width, height, count] :
       std::vector<std::array<int32_t, 3>>{{720, 576, 300}, {77, 35, 40}, {8, 8, 5}, {1, 1, 3}}) {
    CRectList list("");
    for (int32_t i = 0; i < count; ++i) {
      const int32_t left = static_cast<int32_t>(random() % (width + 20));
      const int32_t top = static_cast<int32_t>(random() % (height + 20));
      const int32_t right =
          left + static_cast<int32_t>(random() % (i % 7 == 0 ? 2147483647 - left : 200));
      list.Add(static_cast<uint8_t>(random() % 3), left, top, right,
               top + 1 + static_cast<int32_t>(random() % 300));
    }
    const std::vector<int32_t> mask = Mask(width, height, &list);
    size_t k = 0;
    for (int32_t y = 0; y < height; y += 8) {
      for (int32_t x = 0; x < width; x += 8, ++k) {
        ASSERT_EQ(mask[k], list.IsProcessed(x, y))
            << width << "x" << height << " at " << x << "," << y;
      }
    }
    ASSERT_EQ(k, mask.size());
  }
}

TEST(RegionMaskTest, ExcludedBlockGetsItsSourceBackInAllThreePlanes) {
  CRectList list("");
  list.Add(0, 0, 0, 0, 1);
  std::vector<uint8_t> expected(32 * 16 * 3 / 2, 0);
  for (int y = 0; y < 8; ++y) std::memset(&expected[y * 32], 1, 8);
  for (size_t plane : {size_t{512}, size_t{512 + 128}}) {
    for (int y = 0; y < 4; ++y) std::memset(&expected[plane + y * 16], 1, 4);
  }
  EXPECT_EQ(Copied(32, 16, Mask(32, 16, &list)), expected);
  // 12 x 10: blocks are cut at the edge of each plane.
  std::vector<uint8_t> cut(12 * 10 * 3 / 2, 0);
  for (int y = 0; y < 8; ++y) std::memset(&cut[y * 12 + 8], 1, 4);
  for (size_t plane : {size_t{120}, size_t{150}}) {
    for (int y = 0; y < 4; ++y) std::memset(&cut[plane + y * 6 + 4], 1, 2);
  }
  EXPECT_EQ(Copied(12, 10, {1, 0, 1, 1}), cut);
  EXPECT_EQ(Copied(16, 0, {0, 0}), std::vector<uint8_t>{}) << "no height, nothing";
}

TEST(RegionMaskTest, WholeFrameExcludeAndLeftHalfInclude) {
  std::mt19937 random(5);
  Frame source(720, 576), output(720, 576);
  source.Fill(random, 0);
  output.Fill(random, 0);
  const std::vector<uint8_t> deinterlaced = output.pixels();
  CRectList list("");
  list.Add(0, 0, 0, 719, 575);
  ApplyRegionMask(576, output.data(), source.data(), Mask(720, 576, &list).data(), 720);
  EXPECT_EQ(output.pixels(), source.pixels());

  std::memcpy(output.data(), deinterlaced.data(), deinterlaced.size());
  list.Add(1, 0, 0, 359, 575);
  ApplyRegionMask(576, output.data(), source.data(), Mask(720, 576, &list).data(), 720);
  ApplyRegionMask(576, output.data(), nullptr, Mask(720, 576, &list).data(), 720);
  constexpr size_t kLuma = 720 * 576;
  for (size_t i = 0; i < output.size(); ++i) {
    const bool left = i < kLuma ? i % 720 < 360 : (i - kLuma) % 360 < 180;
    ASSERT_EQ(output.data()[i], left ? deinterlaced[i] : source.data()[i]) << "byte " << i;
  }
  EXPECT_TRUE(output.GuardsIntact());
}

// Random, all-0, all-255 and alternating frames; random and extreme masks;
// several sizes and misalignments.
TEST(RegionKernelsTest, EveryVariantMatchesTheReferenceBitForBit) {
  const auto variants = RegionKernelVariants();
  ASSERT_STREQ(variants[0].name, "reference");
  const int32_t sizes[][2] = {{8, 8}, {24, 8}, {720, 576}, {64, 48}, {12, 10}, {20, 36}};
  std::mt19937 random(1234);
  for (const RegionKernels& variant : variants) {
    if ((variant.required_features & platform::CpuFeatures()) != variant.required_features) {
      continue;
    }
    for (const auto& [width, height] : sizes) {
      for (int pattern = 0; pattern < 4; ++pattern) {
        const size_t misalign = random() % 8;
        Frame source(width, height, misalign), expected(width, height, 7 - misalign),
            actual(width, height, misalign ^ 3);
        source.Fill(random, pattern);
        expected.Fill(random, (pattern + 1) % 4);
        std::memcpy(actual.data(), expected.data(), expected.size());
        const std::vector<uint8_t> source_before = source.pixels();
        std::vector<int32_t> mask(RegionMaskEntries(width, height));
        for (int32_t& entry : mask) {
          entry = pattern == 1 ? 0 : static_cast<int32_t>(random() % 3) - 1;
        }
        ApplyRegionMaskWith(variants[0], height, expected.data(), source.data(), mask.data(),
                            width);
        ApplyRegionMaskWith(variant, height, actual.data(), source.data(), mask.data(), width);
        ASSERT_EQ(actual.pixels(), expected.pixels())
            << variant.name << " " << width << "x" << height << " pattern " << pattern;
        ASSERT_TRUE(actual.GuardsIntact()) << variant.name;
        ASSERT_EQ(source.pixels(), source_before) << variant.name << " wrote its source";
      }
    }
  }
  platform::SetCpuFeatureMask(0);
  EXPECT_STREQ(ActiveRegionKernels().name, "reference");
  platform::SetCpuFeatureMask(~0u);
}

}  // namespace
