// MEDeinterlacer: geometry, tables and what each method leaves in the
// destination.
#include "engine/me_deinterlacer.h"

#include <gtest/gtest.h>

#include "engine/field_kernels.h"
#include "tests/engine/frames.h"

namespace {

struct Frames {
  uint32_t w, h;
  size_t luma, chroma, total;
  std::vector<uint8_t> src, dst;
  Frames(uint32_t width, uint32_t height, std::vector<uint8_t> source)
      : w(width),
        h(height),
        luma(size_t{width} * height),
        chroma(luma / 4),
        total(luma + 2 * chroma),
        src(std::move(source)),
        dst(total, 0x5A) {}
  std::vector<uint8_t> Plane(const std::vector<uint8_t>& f, int index) const {
    const size_t begin = index == 0 ? 0 : luma + (index - 1) * chroma;
    return {f.begin() + begin, f.begin() + begin + (index == 0 ? luma : chroma)};
  }
};

std::vector<uint8_t> RunMethod(Frames& f, int32_t method, bool restore = false,
                               uint8_t fill = 0x5A) {
  MEDeinterlacer engine;
  engine.Init(f.w, f.h);
  DeinterlaceParameters params;
  params.method = method;
  params.is_replace_only_interlaced_pixels = restore;
  std::fill(f.dst.begin(), f.dst.end(), fill);
  engine.Process(f.src.data(), f.dst.data(), &params);
  return f.dst;
}

TEST(MEDeinterlacerTest, GeometryAndBlockTables) {
  MEDeinterlacer small;
  EXPECT_EQ(small.params, DeinterlaceParameters{});
  EXPECT_EQ(small.interlace_map, nullptr);
  small.Init(16, 16);
  EXPECT_EQ(small.block_count, 1u);
  EXPECT_EQ(small.reduced_width, 8u);
  EXPECT_EQ(small.reduced_height, 4u);
  EXPECT_EQ(small.chroma_width, 8u);
  EXPECT_EQ(small.chroma_height, 8u);

  MEDeinterlacer ntsc;
  ntsc.Init(720, 480);
  EXPECT_EQ(ntsc.blocks_x, 45u);
  EXPECT_EQ(ntsc.blocks_y, 30u);
  EXPECT_EQ(ntsc.block_count, 1350u);

  MEDeinterlacer pal;
  pal.Init(720, 576);
  EXPECT_EQ(pal.block_count, 1620u);
  EXPECT_EQ(pal.luma_size, 414720u);
  EXPECT_EQ(pal.field_stride, 1440u);
  EXPECT_EQ(pal.chroma_size, 103680u);
  for (uint32_t i : {0u, 1u, 44u, 45u, 1619u}) {
    const uint32_t bx = i % 45, by = i / 45;
    EXPECT_EQ(pal.block_positions[i].x, static_cast<int32_t>(16 * bx));
    EXPECT_EQ(pal.block_positions[i].y, static_cast<int32_t>(16 * by));
    EXPECT_EQ(pal.block_offsets[i], static_cast<int32_t>(16 * bx + 720 * 16 * by));
    EXPECT_EQ(pal.reduced_block_positions[i].x, static_cast<int32_t>(8 * bx));
    EXPECT_EQ(pal.reduced_block_positions[i].y, static_cast<int32_t>(4 * by));
    EXPECT_EQ(pal.reduced_block_offsets[i], static_cast<int32_t>(8 * bx + 360 * 4 * by));
  }
  pal.Release();
  EXPECT_EQ(pal.block_offsets, nullptr);
  EXPECT_EQ(pal.dst_reduced, nullptr);
  pal.Release();  // a second call does nothing
}

TEST(MEDeinterlacerTest, SizesBeyondThirtyTwoBitsFailWithOutOfMemory) {
  MEDeinterlacer engine;
  EXPECT_THROW(engine.Init(65536, 65536), std::bad_alloc);
  EXPECT_THROW(engine.Init(1u << 20, 1u << 13), std::bad_alloc);
}

TEST(MEDeinterlacerTest, MethodZeroCopiesAndUnknownMethodsTouchNothing) {
  Frames f(64, 32, test::PanFrame(64, 32, 5));
  EXPECT_EQ(RunMethod(f, 0), f.src);
  for (int32_t method : {6, 7, -1, 1 << 31}) {
    EXPECT_EQ(RunMethod(f, method), std::vector<uint8_t>(f.total, 0x5A)) << method;
  }
}

TEST(MEDeinterlacerTest, MethodOneDoublesTheLumaFieldAndKeepsChroma) {
  Frames f(64, 32, test::PanFrame(64, 32, 3));
  const auto out = RunMethod(f, 1);
  for (uint32_t r = 0; r < f.h; ++r) {
    EXPECT_EQ(0, std::memcmp(&out[r * f.w], &f.src[(r | 1) * f.w], f.w)) << r;
  }
  EXPECT_EQ(f.Plane(out, 1), f.Plane(f.src, 1));
  EXPECT_EQ(f.Plane(out, 2), f.Plane(f.src, 2));
}

TEST(MEDeinterlacerTest, MethodTwoIsFullInterpolationOfAllPlanes) {
  Frames f(64, 32, test::PanFrame(64, 32, 4));
  const auto out = RunMethod(f, 2);
  std::vector<uint8_t> want(f.total), map(f.luma);
  InterpolateLuma(want.data(), f.src.data(), map.data(), f.w, f.h, true);
  InterpolateChroma(want.data() + f.luma, want.data() + f.luma + f.chroma, f.src.data() + f.luma,
                    f.src.data() + f.luma + f.chroma, f.w / 2, f.h / 2, true);
  EXPECT_EQ(out, want);
}

TEST(MEDeinterlacerTest, MethodThreeOnAFullyCombedFrameEqualsMethodTwo) {
  std::vector<uint8_t> frame(64 * 32 * 3 / 2);
  test::FillComb(frame.data(), 64, 48, 0, 255);  // luma and both chroma planes
  Frames f(64, 32, frame);
  EXPECT_EQ(RunMethod(f, 3), RunMethod(f, 2));
  EXPECT_EQ(RunMethod(f, 3, true), RunMethod(f, 2));
}

TEST(MEDeinterlacerTest, MethodThreeRestoreChangesOnlyRowsZeroTwoAndNextToLast) {
  Frames f(64, 32, test::PanFrame(64, 32, 0));  // no motion: nothing detected
  const auto plain = RunMethod(f, 3);
  const auto restored = RunMethod(f, 3, true);
  for (uint32_t r = 0; r < f.h; ++r) {
    const bool differs = std::memcmp(&plain[r * f.w], &restored[r * f.w], f.w) != 0;
    if (differs) {
      EXPECT_TRUE(r == 0 || r == 2 || r == f.h - 2) << r;
    }
    if (r == 0 || r == 2 || r == f.h - 2) {
      for (uint32_t x = 1; x < f.w - 4; ++x) {
        EXPECT_EQ(restored[r * f.w + x], f.src[r * f.w + x]) << x << "," << r;
      }
    }
  }
}

TEST(MEDeinterlacerTest, KeptRowsAreNeverChanged) {
  for (auto [w, h] : {std::pair{16u, 16u}, {64u, 32u}, {720u, 576u}}) {
    Frames f(w, h, test::PanFrame(w, h, 6));
    for (int32_t method = 0; method <= 3; ++method) {
      for (bool restore : {false, true}) {
        const auto out = RunMethod(f, method, restore);
        const size_t planes[3][3] = {
            {0, w, h}, {f.luma, w / 2, h / 2}, {f.luma + f.chroma, w / 2, h / 2}};
        for (const auto& p : planes) {
          for (size_t r = 1; r < p[2]; r += 2) {
            ASSERT_EQ(0, std::memcmp(&out[p[0] + r * p[1]], &f.src[p[0] + r * p[1]], p[1]))
                << "method " << method << " row " << r;
          }
        }
      }
    }
  }
}

// Every method writes the whole destination (so no method needs the frame
// copied in first): what the destination held before never shows.
TEST(MEDeinterlacerTest, EveryMethodWritesTheWholeDestination) {
  for (auto [w, h] : {std::pair{16u, 16u}, {64u, 48u}}) {
    Frames f(w, h, test::ObjectFrame(w, h, 6));
    for (int32_t method = 0; method <= 5; ++method) {
      for (bool restore : {false, true}) {
        EXPECT_EQ(RunMethod(f, method, restore, 0x00), RunMethod(f, method, restore, 0xFF))
            << "method " << method;
      }
    }
  }
}

TEST(MEDeinterlacerTest, NullParamsKeepThePreviousRecord) {
  Frames f(32, 32, test::PanFrame(32, 32, 2));
  MEDeinterlacer engine;
  engine.Init(32, 32);
  engine.Process(f.src.data(), f.dst.data(), nullptr);
  EXPECT_EQ(engine.params, DeinterlaceParameters{});
  DeinterlaceParameters zero;
  zero.method = 0;
  zero.area = 3;
  engine.Process(f.src.data(), f.dst.data(), &zero);
  std::fill(f.dst.begin(), f.dst.end(), 0);
  engine.Process(f.src.data(), f.dst.data(), nullptr);
  EXPECT_EQ(engine.params, zero);
  EXPECT_EQ(f.dst, f.src);
}

}  // namespace
