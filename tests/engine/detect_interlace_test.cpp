// Interlace detection on frames whose outcome is known.
#include <gtest/gtest.h>

#include "engine/field_kernels.h"
#include "platform/cpu.h"
#include "tests/engine/frames.h"

namespace {

struct Detection {
  uint32_t result;
  std::vector<uint8_t> map, hits;
};

// Runs the detector on a w x h luma plane (plus the row after it) with
// every variant; all must agree, and the reference's answer is returned.
Detection Detect(const std::vector<uint8_t>& luma, uint32_t w, uint32_t h,
                 uint32_t threshold = 48) {
  Detection first;
  bool have_first = false;
  for (const FieldKernels& variant : FieldKernelVariants()) {
    if (!platform::IsSupported(variant)) continue;
    Detection d{0, std::vector<uint8_t>(w * h), std::vector<uint8_t>((w / 16) * (h / 16))};
    d.result = variant.detect_interlace(d.map.data(), d.hits.data(), luma.data(), w, h, threshold);
    if (!have_first) {
      first = d;
      have_first = true;
    } else {
      EXPECT_EQ(d.result, first.result) << variant.name;
      EXPECT_EQ(d.map, first.map) << variant.name;
      EXPECT_EQ(d.hits, first.hits) << variant.name;
    }
  }
  return first;
}

bool BorderMark(uint32_t x, uint32_t r, uint32_t w, uint32_t h) {
  if (r == 0 && x == 0) return true;
  if (r + 1 < h) return x >= w - 4;
  return x >= w - 4 && x <= w - 2;
}

TEST(DetectInterlaceTest, EqualRowsGiveOnlyTheBorderMarks) {
  constexpr uint32_t w = 64, h = 32;
  std::vector<uint8_t> luma(w * (h + 1));
  test::FillEqualRows(luma.data(), w, h + 1, 4);
  const Detection d = Detect(luma, w, h);
  EXPECT_EQ(d.result, 0u);
  EXPECT_EQ(d.hits, std::vector<uint8_t>(d.hits.size(), 0));
  for (uint32_t r = 0; r < h; ++r)
    for (uint32_t x = 0; x < w; ++x)
      ASSERT_EQ(d.map[r * w + x], BorderMark(x, r, w, h) ? 0xFF : 0x00) << x << "," << r;
}

TEST(DetectInterlaceTest, CombedSixteenBySixteenStaysBelowTheFrameLimit) {
  constexpr uint32_t w = 16, h = 16;
  std::vector<uint8_t> luma(w * (h + 1));
  test::FillComb(luma.data(), w, h + 1, 0, 255);
  const Detection d = Detect(luma, w, h);
  EXPECT_EQ(d.result, 0u);
  ASSERT_EQ(d.hits.size(), 1u);
  EXPECT_EQ(d.hits[0], 60);
  for (uint32_t r : {4u, 6u, 8u, 10u, 12u})
    for (uint32_t x = 0; x < w; ++x) EXPECT_EQ(d.map[r * w + x], 0xFF) << x << "," << r;
  for (uint32_t x = 0; x < w - 4; ++x) EXPECT_EQ(d.map[2 * w + x], 0x00) << x;
}

TEST(DetectInterlaceTest, CombedFrameIsInterlacedThroughout) {
  for (auto [w, h] : {std::pair{64u, 32u}, {720u, 576u}, {720u, 480u}}) {
    std::vector<uint8_t> luma(w * (h + 1));
    test::FillComb(luma.data(), w, h + 1, 0, 255);
    const Detection d = Detect(luma, w, h);
    EXPECT_EQ(d.result, 1u) << w << "x" << h;
    if (w == 720) {
      // The limit stops the scan early: the right part is never marked.
      EXPECT_EQ(d.map[300 * w + 600], 0x00);
    }
  }
}

TEST(DetectInterlaceTest, CombedPatchIsMarkedAndCountedLocally) {
  constexpr uint32_t w = 64, h = 32;
  std::vector<uint8_t> luma(w * (h + 1), 128);
  for (uint32_t r = 8; r <= 23; ++r)
    for (uint32_t x = 16; x <= 31; ++x) luma[r * w + x] = r % 2 ? 255 : 0;
  const Detection d = Detect(luma, w, h);
  EXPECT_EQ(d.result, 0u);
  for (uint32_t r = 0; r < h; ++r) {
    for (uint32_t x = 0; x < w; ++x) {
      const bool patch = r % 2 == 0 && r >= 8 && r <= 24 && x >= 14 && x <= 33;
      ASSERT_EQ(d.map[r * w + x], (patch || BorderMark(x, r, w, h)) ? 0xFF : 0x00) << x << "," << r;
    }
  }
  // Block columns 1 and 2 of block rows 0 and 1 only.
  for (uint32_t b = 0; b < d.hits.size(); ++b) {
    const uint32_t bx = b % (w / 16);
    if (bx == 1 || bx == 2) {
      EXPECT_GT(d.hits[b], 0) << b;
    } else {
      EXPECT_EQ(d.hits[b], 0) << b;
    }
  }
}

TEST(DetectInterlaceTest, ThresholdKeepsOnlyTheLowSixteenBitsOfItsHalf) {
  constexpr uint32_t w = 64, h = 32;
  std::vector<uint8_t> luma(w * (h + 1));
  test::FillRandom(luma.data(), luma.size(), 21);
  // 0 and 1 halve to the same threshold, as do 2^17 + 48 and 48.
  EXPECT_EQ(Detect(luma, w, h, 0).map, Detect(luma, w, h, 1).map);
  EXPECT_EQ(Detect(luma, w, h, 48).hits, Detect(luma, w, h, 131072 + 48).hits);
  // At 65534 and 65535 nothing exceeds the threshold.
  for (uint32_t t : {65534u, 65535u}) {
    const Detection d = Detect(luma, w, h, t);
    EXPECT_EQ(d.result, 0u);
    EXPECT_EQ(d.hits, std::vector<uint8_t>(d.hits.size(), 0));
  }
  // From 65536 on the threshold is negative: nearly everything is a hit.
  EXPECT_EQ(Detect(luma, w, h, 65536).result, 1u);
}

TEST(DetectInterlaceTest, BlockCountersStartFromZeroEveryTime) {
  constexpr uint32_t w = 720, h = 480;
  std::vector<uint8_t> luma(w * (h + 1), 90);
  std::vector<uint8_t> map(w * h), hits(1350, 0xEE);
  EXPECT_EQ(DetectInterlace(map.data(), hits.data(), luma.data(), w, h, 48), 0u);
  EXPECT_EQ(hits, std::vector<uint8_t>(1350, 0));
}

}  // namespace
