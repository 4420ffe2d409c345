// Block kernels: every variant against the reference bit for bit, and the
// reference against the stated sums and early exits.
#include "engine/block_kernels.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/cpu.h"
#include "tests/kernel_checker.h"

namespace {

const BlockKernels& Reference() { return test::Reference(BlockKernelVariants()); }
std::vector<const BlockKernels*> OptimisedVariants() {
  return test::OptimisedVariants(BlockKernelVariants());
}

// Row-by-row prefix sums of squared differences.
std::vector<uint32_t> RowSums(const uint8_t* a, const uint8_t* b, int width, int rows,
                              int32_t stride) {
  std::vector<uint32_t> sums;
  uint32_t sum = 0;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < width; ++c) {
      const int d = a[r * stride + c] - b[r * stride + c];
      sum += static_cast<uint32_t>(d * d);
    }
    sums.push_back(sum);
  }
  return sums;
}

// The expected result for `best`: the first prefix sum that is not below it,
// or the full sum.
uint32_t Expected(const std::vector<uint32_t>& sums, uint32_t best) {
  for (uint32_t s : sums)
    if (s >= best) return s;
  return sums.back();
}

TEST(BlockKernelsTest, DistancesStopAfterTheFirstRowThatReachesBest) {
  for (int trial = 0; trial < 40; ++trial) {
    const int32_t stride = 16 + trial * 3;  // odd strides included
    std::vector<uint8_t> a(stride * 8 + 16), b(stride * 8 + 16);
    test::FillRandom(a.data(), a.size(), trial);
    test::FillRandom(b.data(), b.size(), trial + 100);
    if (trial % 5 == 0) {  // extremes: every difference 255
      std::fill(a.begin(), a.end(), 0);
      std::fill(b.begin(), b.end(), 255);
    }
    for (auto [width, rows] : {std::pair{8, 4}, {16, 8}}) {
      const auto sums = RowSums(a.data(), b.data(), width, rows, stride);
      std::vector<uint32_t> bests = {0, 1, 0x200000, 0x800000, 0xFFFFFFFF};
      for (uint32_t s : sums) {
        bests.push_back(s);
        bests.push_back(s + 1);
        if (s) bests.push_back(s - 1);
      }
      for (const BlockKernels& k : BlockKernelVariants()) {
        if (!platform::IsSupported(k)) continue;
        auto fn = width == 8 ? k.distance_8x4 : k.distance_16x8;
        for (uint32_t best : bests) {
          ASSERT_EQ(fn(a.data() + 3, b.data() + 3, best, stride),
                    Expected(RowSums(a.data() + 3, b.data() + 3, width, rows, stride), best))
              << k.name << " " << width << "x" << rows << " best " << best;
        }
      }
    }
  }
}

TEST(BlockKernelsTest, LargestDistances) {
  std::vector<uint8_t> zeros(16 * 8, 0), full(16 * 8, 255);
  for (const BlockKernels* k : {&Reference()}) {
    EXPECT_EQ(k->distance_8x4(zeros.data(), full.data(), 0x200000, 16), 2080800u);
    EXPECT_EQ(k->distance_16x8(zeros.data(), full.data(), 0x800000, 16), 8323200u);
  }
  SCOPED_TRACE(test::SeedNote());
  for (const BlockKernels* k : OptimisedVariants()) {
    EXPECT_EQ(k->distance_8x4(zeros.data(), full.data(), 0x200000, 16), 2080800u);
    EXPECT_EQ(k->distance_16x8(zeros.data(), full.data(), 0x800000, 16), 8323200u);
  }
}

TEST(BlockKernelsTest, ReduceLumaVariantsMatchReference) {
  for (auto [w, h] : {std::pair{16u, 16u}, {64u, 32u}, {720u, 576u}, {720u, 480u}, {48u, 16u}}) {
    test::Fenced luma(w * h, 3);
    test::FillRandom(luma.data(), w * h, w + h);
    test::Fenced want(w * h / 8);
    Reference().reduce_luma(want.data(), luma.data(), w, h);
    for (uint32_t y = 0; y < h / 4; ++y)
      for (uint32_t x = 0; x < w / 2; ++x)
        ASSERT_EQ(want.data()[y * (w / 2) + x], luma.data()[4 * y * w + 2 * x]);
    for (const BlockKernels* k : OptimisedVariants()) {
      test::Fenced got(w * h / 8, 5);
      k->reduce_luma(got.data(), luma.data(), w, h);
      ASSERT_EQ(got.payload(), want.payload()) << k->name << " " << w << "x" << h;
      ASSERT_TRUE(got.GuardsIntact());
    }
  }
}

TEST(BlockKernelsTest, ReplaceSamplesVariantsMatchReferenceIncludingOverlaps) {
  constexpr uint32_t w = 64, h = 48;
  constexpr int32_t stride = 2 * w;
  const uint32_t limits[] = {0, 1, 2, 7, 64, 128, 254, 255, 256, 257, 0x7FFFFFFF, 0xFFFFFFFF};
  SCOPED_TRACE(test::SeedNote());
  for (const BlockKernels* k : OptimisedVariants()) {
    for (uint32_t seed = 0; seed < 3; ++seed) {
      std::vector<uint8_t> image(w * h);
      test::FillRandom(image.data(), image.size(), seed);
      if (seed == 2) {  // small differences, so mid-range limits split samples
        for (auto& v : image) v = static_cast<uint8_t>(100 + v % 9);
      }
      for (uint32_t limit : limits) {
        // Patch in the same image around a block at (24, 16), rows shifted
        // by -2, 0, 2 and columns by -15 ... 15 (overlaps in every way).
        for (int dy : {-2, 0, 2}) {
          for (int dx = -15; dx <= 15; ++dx) {
            auto want = image, got = image;
            const size_t block = 16 * w + 24;
            const ptrdiff_t patch = static_cast<ptrdiff_t>(block) + dy * static_cast<int>(w) + dx;
            Reference().replace_samples_16x8(want.data() + block, want.data() + patch, limit,
                                             stride);
            k->replace_samples_16x8(got.data() + block, got.data() + patch, limit, stride);
            ASSERT_EQ(got, want) << k->name << " limit " << limit << " d " << dx << "," << dy;
          }
        }
        // Patch in another image.
        auto want = image, got = image;
        std::vector<uint8_t> other(w * h);
        test::FillRandom(other.data(), other.size(), seed + 50);
        Reference().replace_samples_16x8(want.data() + 8, other.data() + 5, limit, stride);
        k->replace_samples_16x8(got.data() + 8, other.data() + 5, limit, stride);
        ASSERT_EQ(got, want) << k->name << " limit " << limit;
      }
    }
  }
}

TEST(BlockKernelsTest, ReplaceSamplesCompareTheDifferenceUnsigned) {
  std::vector<uint8_t> block(16 * 8, 100), patch(16 * 8);
  for (size_t i = 0; i < patch.size(); ++i) patch[i] = static_cast<uint8_t>(100 + (i % 16) - 8);
  auto out = block;
  ReplaceSamples16x8(out.data(), patch.data(), 4, 16);  // |diff| < 4 taken
  for (size_t i = 0; i < out.size(); ++i) {
    const int diff = std::abs(int(patch[i]) - 100);
    EXPECT_EQ(out[i], diff < 4 ? patch[i] : 100) << i;
  }
  out = block;
  ReplaceSamples16x8(out.data(), patch.data(), 0, 16);
  EXPECT_EQ(out, block);
  out = block;
  ReplaceSamples16x8(out.data(), patch.data(), static_cast<uint32_t>(-1), 16);
  EXPECT_EQ(out, patch);
}

// Window rows of every length from 0 on, starting with no candidate found
// yet, with a good one found, and with a best of 0 that nothing beats.
TEST(BlockKernelsTest, SearchRowVariantsMatchReference) {
  constexpr int32_t stride = 96;
  std::vector<uint8_t> image(stride * 8 + 64), reference(stride * 8);
  test::ForEachVariant(BlockKernelVariants(), [&](const BlockKernels& k) {
    for (test::Fill fill : test::kFills) {
      test::FillWith(image.data(), image.size(), fill, 1);
      test::FillWith(reference.data(), reference.size(), test::Fill::kRandom, 2);
      for (int32_t count : {0, 1, 7, 40, 64}) {
        for (uint32_t start : {0x1000000u, 300000u, 0u}) {
          for (bool big : {false, true}) {
            auto run = [&](const BlockKernels& with, uint32_t* best, int32_t* at) {
              (big ? with.search_row_16x8 : with.search_row_8x4)(
                  image.data() + 3, count, reference.data(), stride, best, at);
            };
            uint32_t want_best = start, got_best = start;
            int32_t want_at = -1, got_at = -1;
            run(Reference(), &want_best, &want_at);
            run(k, &got_best, &got_at);
            ASSERT_EQ(got_best, want_best) << count << " " << start << " " << big;
            ASSERT_EQ(got_at, want_at) << count << " " << start << " " << big;
          }
        }
      }
    }
  });
}

}  // namespace
