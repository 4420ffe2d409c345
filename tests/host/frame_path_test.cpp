// The frame path as a reentrant core: instances with their own settings,
// region and workspace render at once on several threads exactly as they
// render alone.
#include "host/frame_path.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "region/rect_list.h"
#include "region/region_mask.h"
#include "tests/engine/frames.h"

namespace {

// A BGRA host frame (bottom row first) of a textured scene whose odd rows
// show it `t + 3` pixels further on than the even rows: combed where it
// moves.
std::vector<uint8_t> CombedFrame(uint32_t w, uint32_t h, int32_t t) {
  std::vector<uint8_t> frame(size_t{4} * w * h);
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      const int32_t moved = static_cast<int32_t>(x) + t + (y % 2 ? 3 : 0);
      uint8_t* p = &frame[(size_t{y} * w + x) * 4];
      const bool object = x > w / 4 && x < w / 2;
      for (int32_t c = 0; c < 3; ++c)
        p[c] = object ? test::Texture(moved + 11 * c, static_cast<int32_t>(y))
                      : static_cast<uint8_t>(60 + 40 * c + (x + y) / 8);
      p[3] = static_cast<uint8_t>(x ^ y);
    }
  }
  return frame;
}

struct Instance {
  DeinterlaceParameters settings;
  FrameRegion region;
  std::vector<uint32_t> sizes;  // width, height pairs, one frame each in turn
};

std::vector<std::vector<uint8_t>> RenderAll(const Instance& instance, int frames,
                                            bool fresh_workspace_each_frame) {
  std::vector<std::vector<uint8_t>> out;
  FrameWorkspace workspace;
  for (int i = 0; i < frames; ++i) {
    const size_t k = 2 * (i % (instance.sizes.size() / 2));
    const uint32_t w = instance.sizes[k], h = instance.sizes[k + 1];
    const auto src = CombedFrame(w, h, i);
    std::vector<uint8_t> dst(src.size(), 0x5A);
    const HostFrames f{
        src.data(), static_cast<int32_t>(4 * w), dst.data(), static_cast<int32_t>(4 * w), w, h};
    if (fresh_workspace_each_frame) {
      FrameWorkspace own;
      RenderFrame(f, instance.settings, instance.region, nullptr, own);
    } else {
      RenderFrame(f, instance.settings, instance.region, nullptr, workspace);
    }
    out.push_back(std::move(dst));
  }
  return out;
}

TEST(FramePathTest, TwoInstancesOnTwoThreadsRenderAsEachAlone) {
  CRectList list("");  // no store behind it
  list.Add(0, 16, 8, 40, 30);
  list.Add(1, 24, 16, 31, 23);
  std::vector<int32_t> mask(RegionMaskEntries(96, 48), 1);
  mask[3] = mask[14] = 0;

  Instance a, b;
  a.settings.method = 4;
  a.settings.is_replace_only_interlaced_pixels = 1;
  a.region.list = &list;
  a.sizes = {128, 64, 64, 32};  // a size change makes the workspace anew
  b.settings.method = 5;
  b.settings.replace_threshold = 40;
  b.settings.interlace_threshold = 20;
  b.region.mask = mask.data();
  b.sizes = {96, 48};
  constexpr int kFrames = 24;

  const auto want_a = RenderAll(a, kFrames, true);
  const auto want_b = RenderAll(b, kFrames, true);
  ASSERT_NE(want_a[0], CombedFrame(128, 64, 0)) << "the frames are processed";

  std::vector<std::vector<uint8_t>> got_a, got_b;
  std::thread ta([&] { got_a = RenderAll(a, kFrames, false); });
  std::thread tb([&] { got_b = RenderAll(b, kFrames, false); });
  ta.join();
  tb.join();
  for (int i = 0; i < kFrames; ++i) {
    EXPECT_EQ(got_a[i], want_a[i]) << "instance a, frame " << i;
    EXPECT_EQ(got_b[i], want_b[i]) << "instance b, frame " << i;
  }
}

}  // namespace
