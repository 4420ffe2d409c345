// The restoring method frame by frame: what it keeps bit for bit, what it
// rebuilds from time where the picture's motion is plain, the region, and
// which side of the kept field it takes the other fields from.
#include "restore/field_restorer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/restore_path.h"
#include "region/rect_list.h"
#include "tests/engine/frames.h"

namespace {

constexpr uint32_t kW = 96, kH = 64;
using Frame = std::vector<uint8_t>;

// A picture with detail in both directions at time t (in fields), moving
// `vx` pixels right and `vy` lines down each field: sample (x, y) of the
// picture at time t is the pattern at (x - vx t, y - vy t).
uint8_t Pattern(int32_t x, int32_t y, int c) {
  return static_cast<uint8_t>(test::Texture(x + 7 * c, y) ^ (x * y / 5 + c * 40));
}

// An interlaced frame in the restorer's row order: the kept (odd) rows at
// time `kept`, the other rows at `other`.
Frame Interlaced(int32_t kept, int32_t other, int32_t vx, int32_t vy) {
  Frame f(size_t{4} * kW * kH);
  for (uint32_t y = 0; y < kH; ++y) {
    const int32_t t = y % 2 ? kept : other;
    for (uint32_t x = 0; x < kW; ++x) {
      uint8_t* p = &f[(size_t{y} * kW + x) * 4];
      for (int c = 0; c < 3; ++c) {
        p[c] = Pattern(static_cast<int32_t>(x) - vx * t, static_cast<int32_t>(y) - vy * t, c);
      }
      p[3] = 255;
    }
  }
  return f;
}

restore::WindowFrame At(const Frame& f, uint64_t id) {
  return restore::WindowFrame{f.data(), static_cast<ptrdiff_t>(4 * kW), id};
}

Frame Restore(const restore::FrameWindow& window) {
  Frame out(size_t{4} * kW * kH, 0x5A);
  restore::FieldRestorer restorer;
  restorer.Restore(window, kW, kH, out.data(), 4 * kW);
  return out;
}

// Rows of one parity equal, `margin` pixels (and rows) from the sides
// left out.
bool RowsEqual(const Frame& a, const Frame& b, int parity, uint32_t margin) {
  for (uint32_t y = parity + (margin & ~1u); y + margin < kH; y += 2) {
    const size_t at = (size_t{y} * kW + margin) * 4;
    if (std::memcmp(&a[at], &b[at], 4 * (kW - 2 * margin)) != 0) return false;
  }
  return true;
}

// Kept rows leave as they came whatever the window; a still picture comes
// out of time unchanged, with one neighbour or two.
TEST(FieldRestorerTest, KeptRowsAndStillPicturesLeaveAsTheyCame) {
  const Frame still = Interlaced(0, 0, 0, 0), moving = Interlaced(0, 1, 3, 1);
  const Frame before = Interlaced(-2, -1, 3, 1), after = Interlaced(2, 3, 3, 1);
  for (int neighbours = 0; neighbours < 4; ++neighbours) {
    restore::FrameWindow window{{}, At(moving, 10), {}};
    if (neighbours & 1) window.previous = At(before, 9);
    if (neighbours & 2) window.next = At(after, 11);
    EXPECT_TRUE(RowsEqual(Restore(window), moving, 1, 0)) << neighbours;
    if (neighbours == 0) continue;
    restore::FrameWindow still_window{{}, At(still, 20), {}};
    if (neighbours & 1) still_window.previous = At(still, 19);
    if (neighbours & 2) still_window.next = At(still, 21);
    EXPECT_EQ(Restore(still_window), still) << neighbours;
  }
}

// A picture moving by whole pixels and by two lines a field: the rebuilt
// rows are the picture at the kept field's moment, exactly, away from the
// sides where the motion reaches past the frame. Either side of the kept
// field may hold the other fields; the frames tell which.
TEST(FieldRestorerTest, WholePixelMotionIsRebuiltExactlyFromEitherSide) {
  for (const auto& [vx, vy] : {std::pair{2, 0}, {-3, 0}, {1, 2}}) {
    const Frame truth = Interlaced(0, 0, vx, vy);
    for (const int32_t side : {1, -1}) {
      // The other field of each frame one field after (1) or before (-1)
      // its kept field.
      const Frame prev = Interlaced(-2, -2 + side, vx, vy), cur = Interlaced(0, side, vx, vy),
                  next = Interlaced(2, 2 + side, vx, vy);
      restore::FieldRestorer restorer;
      Frame out(truth.size());
      restorer.Restore({At(prev, 1), At(cur, 2), At(next, 3)}, kW, kH, out.data(), 4 * kW);
      EXPECT_EQ(restorer.OtherFieldFollowed(), side > 0) << vx << " " << vy;
      EXPECT_TRUE(RowsEqual(out, truth, 0, 16)) << vx << " " << vy << " side " << side;
      EXPECT_FALSE(RowsEqual(cur, truth, 0, 16)) << "the frame itself combs";
    }
  }
}

// Blocks outside the region keep their source pixels; the rest is rebuilt.
TEST(FieldRestorerTest, BlocksOutsideTheRegionKeepTheirSource) {
  Frame src = Interlaced(0, 1, 4, 0), dst(src.size());
  const Frame prev = Interlaced(-2, -1, 4, 0);
  CRectList list("");
  list.Add(0, 16, 8, 47, 31);  // exclude, in picture coordinates
  RestoreWorkspace workspace;
  FrameNeighbours neighbours;
  neighbours.previous = prev.data();
  neighbours.index = 5;
  const int32_t row = 4 * kW;
  RenderRestoredFrame(HostFrames{src.data(), row, dst.data(), row, kW, kH}, neighbours,
                      FrameRegion{&list, nullptr}, nullptr, workspace);
  for (uint32_t m = 0; m < kH; ++m) {
    const uint32_t y = kH - 1 - m;  // picture row of host row m
    for (uint32_t x = 0; x < kW; ++x) {
      const bool excluded = x >= 16 && x <= 47 && y >= 8 && y <= 31;
      const size_t at = (size_t{m} * kW + x) * 4;
      if (excluded) {
        ASSERT_EQ(std::memcmp(&src[at], &dst[at], 4), 0) << x << " " << y;
      }
    }
  }
  EXPECT_NE(src, dst);
}

}  // namespace
