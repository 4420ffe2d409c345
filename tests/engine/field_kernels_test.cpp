// Field kernels: every variant against the reference bit for bit, and the
// reference against worked values.
#include "engine/field_kernels.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/cpu.h"
#include "tests/kernel_checker.h"

namespace {

const FieldKernels& Reference() { return test::Reference(FieldKernelVariants()); }
std::vector<const FieldKernels*> OptimisedVariants() {
  return test::OptimisedVariants(FieldKernelVariants());
}

struct Size {
  uint32_t w, h;
};
constexpr Size kSizes[] = {{16, 16}, {64, 32}, {720, 480}, {720, 576}, {48, 48}};
// Luma interpolation also takes widths that are odd multiples of 8.
constexpr Size kLumaSizes[] = {{16, 16}, {720, 576}, {48, 48}, {40, 16}, {8, 8}};
constexpr uint32_t kThresholds[] = {0, 1, 48, 65534, 65535, 65536, 131071, 4294967295u};

enum class Pattern { kRandom, kEqualRows, kComb, kExtremes, kZero, kFull, kPan };
constexpr Pattern kPatterns[] = {Pattern::kRandom,   Pattern::kEqualRows, Pattern::kComb,
                                 Pattern::kExtremes, Pattern::kZero,      Pattern::kFull,
                                 Pattern::kPan};

// Fills a luma plane of w x h plus one more row (the detector reads it).
void FillLuma(uint8_t* p, uint32_t w, uint32_t h, Pattern pattern, uint32_t seed) {
  const uint32_t rows = h + 1;
  switch (pattern) {
    case Pattern::kRandom:
      test::FillWith(p, static_cast<size_t>(w) * rows, test::Fill::kRandom, seed);
      break;
    case Pattern::kEqualRows:
      test::FillEqualRows(p, w, rows, seed);
      break;
    case Pattern::kComb:
      test::FillComb(p, w, rows, 0, 255);
      break;
    case Pattern::kExtremes:
      // Checkerboard of 0 and 255 in both directions.
      for (uint32_t r = 0; r < rows; ++r) test::FillWith(p + r * w, w, test::Fill::kAlternating, r);
      break;
    case Pattern::kZero:
      test::FillWith(p, static_cast<size_t>(w) * rows, test::Fill::kZero);
      break;
    case Pattern::kFull:
      test::FillWith(p, static_cast<size_t>(w) * rows, test::Fill::kFull);
      break;
    case Pattern::kPan: {
      auto frame = test::PanFrame(w, h + 16, static_cast<int32_t>(seed % 9) + 2);
      std::memcpy(p, frame.data(), static_cast<size_t>(w) * rows);
      break;
    }
  }
}

TEST(FieldKernelsTest, DetectInterlaceVariantsMatchReference) {
  SCOPED_TRACE(test::SeedNote());
  const auto forms = test::DistinctForms(FieldKernelVariants(), &FieldKernels::detect_interlace);
  for (Size size : kSizes) {
    for (Pattern pattern : kPatterns) {
      for (uint32_t seed : {1u, 2u}) {
        const size_t luma = static_cast<size_t>(size.w) * size.h;
        const size_t blocks = (size.w / 16) * (size.h / 16);
        test::Fenced src(luma + size.w, seed % 8);
        FillLuma(src.data(), size.w, size.h, pattern, seed);
        const auto input = src.payload();
        // One set of buffers per size and form, reused for every threshold
        // (each run rewrites all of it).
        test::Fenced map_ref(luma), hits_ref(blocks);
        std::vector<test::Fenced> maps, hits;
        for (size_t i = 0; i < forms.size(); ++i) {
          maps.emplace_back(luma, 3);
          hits.emplace_back(blocks, 5);
        }
        auto same = [](const test::Fenced& a, const test::Fenced& b) {
          return std::memcmp(a.data(), b.data(), a.size()) == 0;
        };
        for (uint32_t threshold : kThresholds) {
          const uint32_t want = Reference().detect_interlace(map_ref.data(), hits_ref.data(),
                                                             src.data(), size.w, size.h, threshold);
          for (size_t i = 0; i < forms.size(); ++i) {
            const uint32_t got = forms[i]->detect_interlace(maps[i].data(), hits[i].data(),
                                                            src.data(), size.w, size.h, threshold);
            const std::string where = std::string(forms[i]->name) + " " + std::to_string(size.w) +
                                      "x" + std::to_string(size.h) + " pattern " +
                                      std::to_string(static_cast<int>(pattern)) + " threshold " +
                                      std::to_string(threshold);
            ASSERT_EQ(got, want) << where;
            ASSERT_TRUE(same(maps[i], map_ref)) << where;
            ASSERT_TRUE(same(hits[i], hits_ref)) << where;
            ASSERT_TRUE(maps[i].GuardsIntact() && hits[i].GuardsIntact()) << where;
          }
        }
        ASSERT_EQ(src.payload(), input);
      }
    }
  }
}

TEST(FieldKernelsTest, InterpolateLumaVariantsMatchReference) {
  SCOPED_TRACE(test::SeedNote());
  for (const FieldKernels* variant :
       test::DistinctForms(FieldKernelVariants(), &FieldKernels::interpolate_luma)) {
    for (Size size : kLumaSizes) {
      for (Pattern pattern : kPatterns) {
        const size_t luma = static_cast<size_t>(size.w) * size.h;
        test::Fenced src(luma + size.w, 1);
        FillLuma(src.data(), size.w, size.h, pattern, 7);
        // Maps: from detection, random per 8-pixel group and per pixel.
        test::Fenced map(luma), hits((size.w / 16) * (size.h / 16));
        Reference().detect_interlace(map.data(), hits.data(), src.data(), size.w, size.h, 48);
        std::vector<std::vector<uint8_t>> maps = {map.payload(), std::vector<uint8_t>(luma)};
        std::mt19937 rng(size.w + size.h);
        for (auto& b : maps[1]) b = (rng() % 3 == 0) ? 0xFF : 0x00;
        for (const auto& m : maps) {
          for (bool all : {false, true}) {
            const std::string where = std::string(variant->name) + " " + std::to_string(size.w) +
                                      "x" + std::to_string(size.h) + " all " + std::to_string(all);
            test::Fenced want(luma), got(luma, 5);
            Reference().interpolate_luma(want.data(), src.data(), m.data(), size.w, size.h, all);
            variant->interpolate_luma(got.data(), src.data(), m.data(), size.w, size.h, all);
            ASSERT_EQ(got.payload(), want.payload()) << where;
            ASSERT_TRUE(got.GuardsIntact()) << where;
            // In place: the kept rows are not copied, the result is the same.
            test::Fenced inplace(luma, 2);
            std::memcpy(inplace.data(), src.data(), luma);
            variant->interpolate_luma(inplace.data(), inplace.data(), m.data(), size.w, size.h,
                                      all);
            ASSERT_EQ(inplace.payload(), want.payload()) << where << " in place";
            ASSERT_TRUE(inplace.GuardsIntact()) << where;
          }
        }
      }
    }
  }
}

TEST(FieldKernelsTest, InterpolateChromaVariantsMatchReference) {
  SCOPED_TRACE(test::SeedNote());
  for (const FieldKernels* variant :
       test::DistinctForms(FieldKernelVariants(), &FieldKernels::interpolate_chroma)) {
    for (Size size : kSizes) {
      const uint32_t w = size.w / 2, h = size.h / 2;
      const size_t plane = static_cast<size_t>(w) * h;
      for (Pattern pattern : kPatterns) {
        test::Fenced a(plane + w, 3), b(plane + w, 6);
        FillLuma(a.data(), w, h, pattern, 11);
        FillLuma(b.data(), w, h, Pattern::kRandom, 12);
        for (bool all : {false, true}) {
          const std::string where = std::string(variant->name) + " " + std::to_string(w) + "x" +
                                    std::to_string(h) + " all " + std::to_string(all);
          test::Fenced want_a(plane), want_b(plane), got_a(plane, 1), got_b(plane, 7);
          Reference().interpolate_chroma(want_a.data(), want_b.data(), a.data(), b.data(), w, h,
                                         all);
          variant->interpolate_chroma(got_a.data(), got_b.data(), a.data(), b.data(), w, h, all);
          ASSERT_EQ(got_a.payload(), want_a.payload()) << where;
          ASSERT_EQ(got_b.payload(), want_b.payload()) << where;
          ASSERT_TRUE(got_a.GuardsIntact() && got_b.GuardsIntact()) << where;
          test::Fenced in_a(plane), in_b(plane);
          std::memcpy(in_a.data(), a.data(), plane);
          std::memcpy(in_b.data(), b.data(), plane);
          variant->interpolate_chroma(in_a.data(), in_b.data(), in_a.data(), in_b.data(), w, h,
                                      all);
          ASSERT_EQ(in_a.payload(), want_a.payload()) << where << " in place";
          ASSERT_EQ(in_b.payload(), want_b.payload()) << where << " in place";
        }
      }
    }
  }
}

TEST(FieldKernelsTest, ChromaCombTestCoversEveryValueTriple) {
  // All 256^3 (above, own, below) triples through each form, 8 at a time.
  for (const FieldKernels* variant :
       test::DistinctForms(FieldKernelVariants(), &FieldKernels::interpolate_chroma)) {
    constexpr uint32_t w = 256, h = 4;
    std::vector<uint8_t> src(w * h), want(w * h), got(w * h);
    for (uint32_t a = 0; a < 256; ++a) {
      for (uint32_t c = 0; c < 256; ++c) {
        for (uint32_t x = 0; x < w; ++x) {
          src[1 * w + x] = static_cast<uint8_t>(a);
          src[2 * w + x] = static_cast<uint8_t>(x);  // own value
          src[3 * w + x] = static_cast<uint8_t>(c);
        }
        Reference().interpolate_chroma(want.data(), want.data() + 0, src.data(), src.data(), w, h,
                                       false);
        variant->interpolate_chroma(got.data(), got.data(), src.data(), src.data(), w, h, false);
        ASSERT_EQ(got, want) << variant->name << " above " << a << " below " << c;
      }
    }
  }
}

TEST(FieldKernelsTest, DoubleFieldVariantsMatchReference) {
  SCOPED_TRACE(test::SeedNote());
  for (const FieldKernels* variant : OptimisedVariants()) {
    for (Size size : kSizes) {
      const size_t luma = static_cast<size_t>(size.w) * size.h;
      test::Fenced want(luma), got(luma, 4);
      test::FillRandom(want.data(), luma, size.w);
      std::memcpy(got.data(), want.data(), luma);
      Reference().double_field(want.data(), size.w, size.h);
      variant->double_field(got.data(), size.w, size.h);
      ASSERT_EQ(got.payload(), want.payload()) << variant->name;
      ASSERT_TRUE(got.GuardsIntact());
    }
  }
}

// --- worked values, through the public (dispatched) names ----------------

// A plane whose rows r-3, r-1, r+1, r+3 around row 4 hold the given values.
uint8_t FourTapAt4(uint8_t r1, uint8_t r3, uint8_t r5, uint8_t r7) {
  constexpr uint32_t w = 8, h = 8;
  std::vector<uint8_t> src(w * h, 0), dst(w * h), map(w * h, 0);
  const uint8_t rows[] = {r1, r3, r5, r7};
  for (int i = 0; i < 4; ++i) std::memset(src.data() + (2 * i + 1) * w, rows[i], w);
  InterpolateLuma(dst.data(), src.data(), map.data(), w, h, true);
  return dst[4 * w];
}

TEST(FieldKernelsTest, FourTapFilterValues) {
  for (uint32_t mask : {0u, ~0u}) {
    platform::SetCpuFeatureMask(mask);
    EXPECT_EQ(FourTapAt4(255, 0, 0, 255), 0);
    EXPECT_EQ(FourTapAt4(0, 255, 255, 0), 255);
    EXPECT_EQ(FourTapAt4(0, 100, 100, 0), 125);
    EXPECT_EQ(FourTapAt4(10, 20, 30, 40), 25);
  }
  platform::SetCpuFeatureMask(~0u);
}

uint8_t ChromaAt2(uint8_t above, uint8_t own, uint8_t below, bool all) {
  constexpr uint32_t w = 8, h = 4;
  std::vector<uint8_t> src(w * h, 0), dst(w * h);
  std::memset(src.data() + 1 * w, above, w);
  std::memset(src.data() + 2 * w, own, w);
  std::memset(src.data() + 3 * w, below, w);
  InterpolateChroma(dst.data(), dst.data() + 0, src.data(), src.data(), w, h, all);
  return dst[2 * w];
}

TEST(FieldKernelsTest, ChromaCombTestValues) {
  for (uint32_t mask : {0u, ~0u}) {
    platform::SetCpuFeatureMask(mask);
    EXPECT_EQ(ChromaAt2(100, 0, 100, false), 100);  // T = 5000
    EXPECT_EQ(ChromaAt2(181, 0, 181, false), 181);  // T = 16380
    EXPECT_EQ(ChromaAt2(182, 0, 182, false), 0);    // product wraps: T = -16206
    EXPECT_EQ(ChromaAt2(200, 0, 200, false), 0);    // T = -12768
    EXPECT_EQ(ChromaAt2(0, 255, 0, false), 255);    // T = -256
    EXPECT_EQ(ChromaAt2(50, 60, 50, false), 50);    // T = 50
    EXPECT_EQ(ChromaAt2(10, 20, 30, false), 20);    // T = -75
    EXPECT_EQ(ChromaAt2(40, 0, 60, true), 55);      // a quarter above, three quarters below
  }
  platform::SetCpuFeatureMask(~0u);
}

TEST(FieldKernelsTest, InterpolateLumaWithEmptyMapRebuildsOnlyRows0And2AndLast) {
  constexpr uint32_t w = 16, h = 16;
  std::vector<uint8_t> src(w * h), dst(w * h), map(w * h, 0);
  test::FillRandom(src.data(), src.size(), 5);
  InterpolateLuma(dst.data(), src.data(), map.data(), w, h, false);
  for (uint32_t x = 0; x < w; ++x) {
    EXPECT_EQ(dst[x], src[w + x]);
    EXPECT_EQ(dst[2 * w + x], (src[w + x] + src[3 * w + x]) / 2);
    EXPECT_EQ(dst[14 * w + x], (src[13 * w + x] + src[15 * w + x]) / 2);
  }
  for (uint32_t r = 3; r < h - 2; ++r) {
    EXPECT_EQ(0, std::memcmp(&dst[r * w], &src[r * w], w)) << "row " << r;
  }
  // A full map gives the same as `all`.
  std::vector<uint8_t> full(w * h, 0xFF), with_map(w * h), with_all(w * h);
  InterpolateLuma(with_map.data(), src.data(), full.data(), w, h, false);
  InterpolateLuma(with_all.data(), src.data(), map.data(), w, h, true);
  EXPECT_EQ(with_map, with_all);
}

TEST(FieldKernelsTest, EqualRowsComeOutUnchangedAndDoubleFieldCopiesOddRows) {
  constexpr uint32_t w = 32, h = 16;
  std::vector<uint8_t> src(w * h), dst(w * h), map(w * h);
  test::FillEqualRows(src.data(), w, h, 9);
  for (bool all : {false, true}) {
    std::fill(map.begin(), map.end(), all ? 0x00 : 0xFF);
    InterpolateLuma(dst.data(), src.data(), map.data(), w, h, all);
    EXPECT_EQ(dst, src);
    InterpolateChroma(dst.data(), dst.data(), src.data(), src.data(), w, h, all);
    EXPECT_EQ(dst, src);
  }
  std::vector<uint8_t> plane(w * h);
  test::FillRandom(plane.data(), plane.size(), 3);
  const auto before = plane;
  DoubleField(plane.data(), w, h);
  for (uint32_t r = 0; r < h; ++r) {
    const uint32_t from = r | 1;
    EXPECT_EQ(0, std::memcmp(&plane[r * w], &before[from * w], w)) << "row " << r;
  }
}

}  // namespace
